// The configurator's requests on the settings file: its slots and values,
// zq-check's findings, a curve's exact response, and saving; and the panel's
// own tables the page draws from (/api/facts), so it restates none of them. Edits stay in
// the page until saved; each request carries them as {"edits": {key: value
// or null}} and is answered on the file's document with them applied.
#pragma once

#include <optional>
#include <string>

#include "config/settings_store.h"
#include "zq_setup/ui/ui_http.h"

namespace zq::setup::ui {

class SettingsApi : public ApiRoutes {
 public:
  SettingsApi(FileOps& ops, std::string path, std::string exampleText);
  // "" when the file could be read (or does not exist yet), else why not.
  std::string Open();
  bool Answer(const Request& req, std::string_view path, std::string_view query,
              Response& res) override;
  // The bytes the file would have with the edits of a request body; nullopt
  // while there is no file and no edit. `problem` says why an edit was refused
  // (the edits are then left out).
  std::optional<std::string> EditedBytes(const std::string& body, std::string& problem) const;
  const std::string& Path() const { return path_; }
  const SettingsEditor& Editor() const { return editor_; }
  // Edits another settings file from now on, found by `locate`; "" once it
  // has been read, else why not (and the file edited so far stays).
  std::string Switch(std::string path, SettingsEditor::Locator locate);
  // The file was there when last read or saved.
  bool Exists() const { return editor_.Exists(); }

 private:
  void State(const SettingsDocument& doc, Response& res, const std::string& editError = "");
  void Curve(const std::string& body, Response& res);
  void Save(const std::string& body, Response& res);

  FileOps& ops_;
  std::string path_;
  std::string exampleText_;
  SettingsEditor editor_;
  std::string openProblem_;
};

}  // namespace zq::setup::ui

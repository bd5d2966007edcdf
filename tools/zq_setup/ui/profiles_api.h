// The profiles beside the opened file: every "*.ini" of its folder and the
// "Setup.ini" of each folder one level down, one per aircraft or stick set.
//   GET  /api/profiles           the list, each with its last change and sticks
//   POST /api/profiles/open      {"file": "f16/Setup.ini"}: edit that one now
//   POST /api/profiles/new       {"name", "folder": bool, "edits"}: the file
//                                as edited, under a new name; then edit that
//   POST /api/profiles/rename    {"file", "to"}
//   POST /api/profiles/delete    {"file"}: moved to its ".bak" name
// Everything is written inside the opened file's folder and its direct
// sub-folders only, through the folder held open since the start, by names
// checked here and never through a link; nothing there is replaced but a
// deleted profile's own backup.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "config/settings_store.h"
#include "zq_setup/ui/ui_api.h"
#include "zq_setup/ui/ui_http.h"

namespace zq::setup::ui {

class LiveSource;

// Why `name` cannot name a profile file or folder, or "": no separator,
// "..", NUL or control character, no leading dot, none of the characters
// or device names Windows refuses, at most 64 bytes.
std::string ProfileNameProblem(std::string_view name);

class ProfilesApi : public ApiRoutes {
 public:
  ProfilesApi(FileOps& ops, SettingsApi& settings, LiveSource& live, ApiRoutes& next)
      : ops_(ops), settings_(settings), live_(live), next_(next) {}
  // Holds the folder of the file the settings were opened from.
  void Open();
  bool Answer(const Request& req, std::string_view path, std::string_view query,
              Response& res) override;

 private:
  struct Where {
    std::unique_ptr<SettingsFolder> folder;  // the profile's folder
    std::string name;                        // the file's name in it
    std::string sub;                         // its folder in the profile folder, or ""
  };
  // A profile's id ("a10.ini", "f16/Setup.ini") checked and found; "" or why not.
  std::string Find(const std::string& id, Where& where) const;
  std::string PathOf(const std::string& id) const;
  void OpenProfile(const std::string& id, Response& res);
  void List(Response& res);
  void Switch(const std::string& body, Response& res);
  void New(const std::string& body, Response& res);
  void Rename(const std::string& body, Response& res);
  void Delete(const std::string& body, Response& res);

  FileOps& ops_;
  SettingsApi& settings_;
  LiveSource& live_;
  ApiRoutes& next_;
  std::shared_ptr<SettingsFolder> root_;  // the profile folder
  std::string rootProblem_;               // why there is none
  std::string rootPath_;                  // as the player named it, with its separator
  std::string firstPath_, firstId_;       // the file zq-setup was started on
  std::string current_;                   // the id of the profile edited now
};

}  // namespace zq::setup::ui

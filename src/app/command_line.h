// The panel's command line: --setup PATH, --help, --version; nothing else.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace zq {

struct PanelOptions {
  enum class Action { run, help, version, bad };
  Action action = Action::run;
  bool setupChosen = false;
  std::string setup;  // as given: a file, or a folder holding Setup.ini
  std::string error;  // for Action::bad
};

// `args` without the program name. Both "--setup PATH" and "--setup=PATH".
PanelOptions ParsePanelOptions(const std::vector<std::string>& args);

// The text --help prints; `program` is the name to show in the usage line.
std::string PanelHelpText(std::string_view program);
std::string PanelVersionText(std::string_view program);

// The settings file to read: `setup` itself, or its Setup.ini when it names
// a folder; without --setup, Setup.ini of the working folder.
std::filesystem::path SettingsPathOf(const PanelOptions& options);

}  // namespace zq

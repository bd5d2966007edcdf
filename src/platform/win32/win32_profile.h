// Settings from ".\Setup.ini" through the system's profile calls.
#pragma once

#include <string>
#include <vector>

#include "config/settings_file.h"

namespace zq {

// Each lookup asks GetPrivateProfileStringA anew: the file is never kept
// open, locked or cached by this program.
class Win32ProfileSettings : public SettingsLookup {
 public:
  // ".\Setup.ini": the working directory at start-up, not the program's folder.
  explicit Win32ProfileSettings(std::string path = ".\\Setup.ini") : path_(std::move(path)) {}

  std::string ReadText(std::string_view section, std::string_view key,
                       std::string_view def) const override;
  bool HasKey(std::string_view section, std::string_view key) const override;
  // The section's key names as one read of kKeyListChars characters gives them.
  std::vector<std::string> KeyList(std::string_view section) const;

 private:
  std::string path_;
};

}  // namespace zq

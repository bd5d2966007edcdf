// Settings from ".\Setup.ini" through the system's profile calls, and the
// keyboard layout's character of a virtual key.
#pragma once

#include <string>
#include <vector>

#include "config/binding.h"
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

// MapVirtualKeyA with map type 2, asked with the character's code as the
// virtual-key code: a binding such as "~" names the key whose unshifted
// character that is on the player's layout.
class Win32KeyCharMap : public KeyCharMap {
 public:
  int32_t VirtualKeyOfChar(unsigned char c) const override;
};

}  // namespace zq

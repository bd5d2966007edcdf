#include "platform/win32/win32_profile.h"

#include <windows.h>

#include <vector>

namespace zq {

std::string Win32ProfileSettings::ReadText(std::string_view section, std::string_view key,
                                           std::string_view def) const {
  // The A calls want terminated strings; keys and sections are short.
  std::string s(section), k(key), d(def);
  char value[kMaxValueChars + 1];
  DWORD n = GetPrivateProfileStringA(s.c_str(), k.c_str(), d.c_str(), value,
                                     static_cast<DWORD>(sizeof value), path_.c_str());
  return std::string(value, n);
}

std::vector<std::string> Win32ProfileSettings::KeyList(std::string_view section) const {
  std::string s(section);
  std::vector<char> list(kKeyListChars);
  DWORD n = GetPrivateProfileStringA(s.c_str(), nullptr, "", list.data(),
                                     static_cast<DWORD>(list.size()), path_.c_str());
  std::vector<std::string> names;
  // n counts the characters before the final terminator; names are separated
  // by single terminators.
  size_t pos = 0;
  while (pos < n) {
    size_t end = pos;
    while (end < n && list[end] != '\0') ++end;
    if (end == pos) break;
    names.emplace_back(list.data() + pos, end - pos);
    pos = end + 1;
  }
  return names;
}

bool Win32ProfileSettings::HasKey(std::string_view section, std::string_view key) const {
  for (const std::string& name : KeyList(section)) {
    if (EqualsNoCase(name, key)) return true;
  }
  return false;
}

}  // namespace zq

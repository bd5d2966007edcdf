// ASCII-only letter case and control bytes. Setup.ini keys, binding texts
// and key names fold a..z alone, whatever the locale: bytes above 127 stay
// as they are.
#pragma once

#include <string>
#include <string_view>

namespace zq {

constexpr char AsciiLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

constexpr char AsciiUpper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

inline std::string AsciiLower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = AsciiLower(c);
  return out;
}

inline std::string AsciiUpper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = AsciiUpper(c);
  return out;
}

// C0 controls and DEL: what is masked or escaped before text is shown.
constexpr bool IsControlByte(unsigned char c) {
  return c < 0x20 || c == 0x7f;
}

}  // namespace zq

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

// Text from a file or the network as it may go to a terminal: every control
// byte becomes '?', so that no escape sequence in a value can retitle the
// terminal, move its cursor or answer for the player. Masked: C0 controls,
// DEL, and C1 controls both as lone bytes 0x80-0x9F and as UTF-8 (U+0080 to
// U+009F); other UTF-8 and ANSI letters stay. Cut after `maxBytes`, with "...".
inline std::string TerminalText(std::string_view text, size_t maxBytes = std::string_view::npos) {
  std::string out;
  const size_t end = text.size() < maxBytes ? text.size() : maxBytes;
  size_t i = 0;
  while (i < end) {
    const auto u = static_cast<unsigned char>(text[i]);
    size_t length = u >= 0xc2 && u <= 0xdf   ? 2
                    : u >= 0xe0 && u <= 0xef ? 3
                    : u >= 0xf0 && u <= 0xf4 ? 4
                                             : 1;
    for (size_t k = 1; k < length; ++k) {
      if (i + k >= end || (static_cast<unsigned char>(text[i + k]) & 0xc0) != 0x80) length = 1;
    }
    const bool c1 = length == 2 && u == 0xc2 && static_cast<unsigned char>(text[i + 1]) < 0xa0;
    if (length == 1 && (IsControlByte(u) || (u >= 0x80 && u <= 0x9f))) {
      out += '?';
    } else if (c1) {
      out += '?';
    } else {
      out.append(text.substr(i, length));
    }
    i += length;
  }
  if (end < text.size()) out += "...";
  return out;
}

}  // namespace zq

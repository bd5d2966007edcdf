#include "config/integer_syntax.h"

namespace zq {
namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::optional<int32_t> ParseInt(std::string_view s, bool hexDigitLimit) {
  size_t i = 0;
  while (i < s.size() && s[i] == ' ') ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  if (i >= s.size()) return std::nullopt;

  size_t prefix = 0;
  if (s[i] == '$' || s[i] == 'x' || s[i] == 'X') {
    prefix = 1;
  } else if (s[i] == '0' && i + 1 < s.size() && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
    prefix = 2;
  }
  if (prefix != 0) {
    i += prefix;
    if (i >= s.size()) return std::nullopt;
    uint64_t value = 0;
    size_t digits = 0;
    for (; i < s.size(); ++i, ++digits) {
      int d = HexDigit(s[i]);
      if (d < 0) return std::nullopt;
      value = value * 16 + static_cast<uint64_t>(d);
      if (value > 0xFFFFFFFFu) return std::nullopt;
    }
    if (hexDigitLimit && digits > 8) return std::nullopt;
    uint32_t pattern = static_cast<uint32_t>(value);
    // "-$80000000" and "-$FFFFFFFF" are valid: the 32-bit pattern is negated
    // modulo 2^32, so hex values wrap instead of failing.
    if (negative) pattern = 0u - pattern;
    return static_cast<int32_t>(pattern);
  }

  uint64_t value = 0;
  for (; i < s.size(); ++i) {
    if (s[i] < '0' || s[i] > '9') return std::nullopt;
    value = value * 10 + static_cast<uint64_t>(s[i] - '0');
    if (value > 2147483648u) return std::nullopt;
  }
  if (!negative && value > 2147483647u) return std::nullopt;
  return negative ? static_cast<int32_t>(0 - static_cast<int64_t>(value))
                  : static_cast<int32_t>(value);
}

}  // namespace

std::optional<int32_t> ParseSettingsInt(std::string_view text) {
  return ParseInt(text, true);
}

std::optional<int32_t> ParseBindingInt(std::string_view text) {
  return ParseInt(text, false);
}

}  // namespace zq

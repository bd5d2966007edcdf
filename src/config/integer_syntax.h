// The two integer syntaxes of the settings file.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace zq {

// Settings keys and curve tokens: leading blanks, optional sign, then decimal
// digits within the signed 32-bit range, or "$", "x", "X", "0x", "0X" and at
// most eight hexadecimal digits taken as a 32-bit two's-complement pattern.
std::optional<int32_t> ParseSettingsInt(std::string_view text);

// Binding numbers (text already upper-cased): the same, except that a
// hexadecimal number may have any number of digits as long as its value fits
// in 32 bits.
std::optional<int32_t> ParseBindingInt(std::string_view text);

}  // namespace zq

// Binary floating point of a chosen precision (up to 64 significant bits),
// rounded to nearest with ties to even after every operation and computed
// with exact integer arithmetic, so that results are the same on every
// compiler and processor (whatever `long double` is there).
#pragma once

#include <cstdint>

namespace zq {

struct ExtFloat {
  bool negative = false;
  uint64_t mantissa = 0;  // value = mantissa * 2^exponent; 0 is zero
  int32_t exponent = 0;

  static ExtFloat FromInt(int64_t value);
  bool IsZero() const { return mantissa == 0; }
};

constexpr int kExtendedBits = 64;  // the 80-bit format's significand
constexpr int kDoubleBits = 53;

ExtFloat RoundTo(const ExtFloat& x, int bits);
ExtFloat Add(const ExtFloat& a, const ExtFloat& b, int bits);
ExtFloat Sub(const ExtFloat& a, const ExtFloat& b, int bits);
ExtFloat Mul(const ExtFloat& a, const ExtFloat& b, int bits);
ExtFloat DivInt(const ExtFloat& a, uint32_t divisor, int bits);
// Nearest integer, ties to even. The value must fit in 62 bits.
int64_t RoundToInteger(const ExtFloat& x);

}  // namespace zq

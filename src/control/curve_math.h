// Response curves, trim mix and limit: pure arithmetic on the control scale.
#pragma once

#include <array>
#include <cstdint>

#include "config/curve_bank.h"

namespace zq {

// Point values V(0..10) of a curve: point[k] * 10k (a wrapping signed 32-bit
// product) divided by 100 in 64-bit-significand precision, then rounded to a
// double. Every V(k) is exactly representable as a double on any IEEE
// platform, so they can be computed once and kept.
using PointValues = std::array<double, kCurvePoints>;
PointValues ComputePointValues(const Curve& curve);

// Curve evaluation of a reading (-1000..1000; anything beyond is confined
// first) into hundredths, rounding as the 80-bit extended evaluation does.
int32_t EvaluateCurve(int32_t reading, const PointValues& values);
int32_t EvaluateCurve(int32_t reading, const Curve& curve);

// The same evaluation carried out entirely in exact arithmetic (no fast
// path); the reference the fast path falls back on.
int32_t EvaluateCurveExact(int32_t reading, const PointValues& values);

// Results of one curve for every reading magnitude 0..1000. The curves never
// change after the settings load, so each is evaluated once there and a tick
// only looks its readings up.
using CurveTable = std::array<int32_t, 1001>;
CurveTable ComputeCurveTable(const Curve& curve);
// Curve evaluation through the table: confined, odd-symmetric.
inline int32_t LookUpCurve(int32_t reading, const CurveTable& table) {
  int32_t m = reading < 0 ? (reading < -1000 ? 1000 : -reading) : (reading > 1000 ? 1000 : reading);
  int32_t v = table[static_cast<size_t>(m)];
  return reading < 0 ? -v : v;
}

// Moves the centre by half the trim while full deflection stays at +-100.
int32_t TrimMix(int32_t axis, int32_t trim);

// Confines v to -bound..bound.
int32_t Limit(int32_t v, int32_t bound);

// Signed 32-bit arithmetic that wraps instead of overflowing.
inline int32_t Wrap32(int64_t v) {
  return static_cast<int32_t>(static_cast<uint32_t>(v));
}

}  // namespace zq

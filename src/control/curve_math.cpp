#include "control/curve_math.h"

#include <cmath>

#include "control/ext_float.h"

namespace zq {
namespace {

ExtFloat FromDouble(double v) {
  if (v == 0) return ExtFloat{};
  int e = 0;
  double frac = std::frexp(std::fabs(v), &e);  // frac in [0.5, 1)
  ExtFloat r;
  r.negative = v < 0;
  r.mantissa = static_cast<uint64_t>(std::ldexp(frac, kDoubleBits));
  r.exponent = e - kDoubleBits;
  return r;
}

double ToDouble(const ExtFloat& x) {  // x must have at most 53 significant bits
  double v = std::ldexp(static_cast<double>(x.mantissa), x.exponent);
  return x.negative ? -v : v;
}

int32_t Confine(int32_t reading) {
  return reading < -1000 ? -1000 : (reading > 1000 ? 1000 : reading);
}

}  // namespace

PointValues ComputePointValues(const Curve& curve) {
  PointValues values{};
  for (int k = 1; k < kCurvePoints; ++k) {
    int32_t product = Wrap32(int64_t{curve[k]} * (10 * k));
    ExtFloat q = DivInt(ExtFloat::FromInt(product), 100, kExtendedBits);
    values[static_cast<size_t>(k)] = ToDouble(RoundTo(q, kDoubleBits));
  }
  return values;
}

int32_t EvaluateCurveExact(int32_t reading, const PointValues& values) {
  reading = Confine(reading);
  int32_t m = reading < 0 ? -reading : reading;
  int32_t j = m / 100;
  int64_t r;
  if (j == 10) {
    r = RoundToInteger(FromDouble(values[10]));
  } else {
    ExtFloat v0 = FromDouble(values[static_cast<size_t>(j)]);
    ExtFloat v1 = FromDouble(values[static_cast<size_t>(j + 1)]);
    ExtFloat d = Sub(v1, v0, kExtendedBits);
    ExtFloat q = DivInt(ExtFloat::FromInt(m), 10, kExtendedBits);
    ExtFloat f = Sub(q, ExtFloat::FromInt(10 * j), kExtendedBits);
    ExtFloat step = DivInt(Mul(d, f, kExtendedBits), 10, kExtendedBits);
    r = RoundToInteger(Add(v0, step, kExtendedBits));
  }
  return static_cast<int32_t>(reading < 0 ? -r : r);
}

int32_t EvaluateCurve(int32_t reading, const PointValues& values) {
  reading = Confine(reading);
  int32_t m = reading < 0 ? -reading : reading;
  int32_t j = m / 100;
  if (j == 10) return EvaluateCurveExact(reading, values);
  // Fast path in doubles. Its error against the extended evaluation stays far
  // below `margin`; only a result that close to a half needs the exact path.
  double v0 = values[static_cast<size_t>(j)];
  double d = values[static_cast<size_t>(j + 1)] - v0;
  double f = (m - 100 * j) / 10.0;
  double r = v0 + d * f / 10.0;
  double margin = std::ldexp(std::fabs(v0) + std::fabs(d) + 1.0, -40);
  double nearest = std::nearbyint(r);
  double distanceToHalf = std::fabs(std::fabs(r - nearest) - 0.5);
  if (distanceToHalf <= margin) return EvaluateCurveExact(reading, values);
  int32_t result = static_cast<int32_t>(std::floor(r + 0.5));
  return reading < 0 ? -result : result;
}

int32_t EvaluateCurve(int32_t reading, const Curve& curve) {
  return EvaluateCurve(reading, ComputePointValues(curve));
}

CurveTable ComputeCurveTable(const Curve& curve) {
  PointValues values = ComputePointValues(curve);
  CurveTable table{};
  for (int32_t m = 0; m <= 1000; ++m) table[static_cast<size_t>(m)] = EvaluateCurve(m, values);
  return table;
}

int32_t TrimMix(int32_t axis, int32_t trim) {
  int32_t h = trim / 2;
  int64_t s = axis > 0 ? int64_t{100} - h : int64_t{100} + h;
  int32_t product = Wrap32(int64_t{axis} * s);
  // quotient by 100 rounded to nearest, ties to even
  int32_t q = product / 100;
  int32_t rem = product % 100;
  if (rem > 50 || (rem == 50 && (q & 1))) {
    ++q;
  } else if (rem < -50 || (rem == -50 && (q & 1))) {
    --q;
  }
  return Wrap32(int64_t{q} + h);
}

int32_t Limit(int32_t v, int32_t bound) {
  return v > bound ? bound : (v < -bound ? -bound : v);
}

}  // namespace zq

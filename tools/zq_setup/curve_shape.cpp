#include "zq_setup/curve_shape.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "control/curve_math.h"

namespace zq::setup {

const std::array<ShapePreset, 7> kShapePresets = {{
    {"Linear", {0, 100, 0, false}},
    {"Soft centre", {0, 100, 40, false}},
    {"Very soft centre", {0, 100, 70, false}},
    {"Quick centre", {0, 100, -40, false}},
    {"Dead zone 10 %", {10, 100, 0, false}},
    {"Dead zone 10 %, soft centre", {10, 100, 40, false}},
    {"Full at 80 %", {0, 80, 0, false}},
}};

std::string ShapeProblem(const CurveShape& s) {
  if (s.deadZone < 0 || s.deadZone > 99) return "the dead zone is 0 to 99 %";
  if (s.saturation < 1 || s.saturation > 100) return "the saturation is 1 to 100 %";
  if (s.deadZone >= s.saturation) return "the dead zone must end before the saturation starts";
  if (s.curvature < -100 || s.curvature > 100) return "the curvature is -100 to 100";
  return "";
}

double ShapeOutput(const CurveShape& s, int reading) {
  int m = std::abs(reading);
  // in thousandths of travel, so that the edges need no rounding
  double x;
  if (m <= 10 * s.deadZone) {
    x = 0;
  } else if (m >= 10 * s.saturation) {
    x = 1;
  } else {
    x = (m - 10.0 * s.deadZone) / (10.0 * (s.saturation - s.deadZone));
  }
  // Expo as radio transmitters have it: a blend of the line and its cube,
  // mirrored at the end for a quicker centre.
  double c = std::abs(s.curvature) / 100.0;
  auto expo = [c](double t) { return (1 - c) * t + c * t * t * t; };
  double y = s.curvature >= 0 ? expo(x) : 1 - expo(1 - x);
  double out = 100 * y;
  return (reading < 0) != s.invert ? -out : out;
}

Curve ShapeCurve(const CurveShape& s) {
  Curve curve{};
  for (int k = 1; k < kCurvePoints; ++k) {
    // output = gain * 10k / 100
    long gain = std::lround(ShapeOutput(s, 100 * k) * 10 / k);
    long limit = 1000 / k;
    if (gain > limit) gain = limit;
    if (gain < -limit) gain = -limit;
    curve.slot[static_cast<size_t>(k)] = static_cast<int32_t>(gain);
  }
  return curve;
}

ShapeFit FitShape(const CurveShape& s, const Curve& curve) {
  CurveTable table = ComputeCurveTable(curve);
  ShapeFit fit;
  for (int m = 0; m <= 1000; ++m) {
    double shape = ShapeOutput(s, m);
    double d = std::fabs(table[static_cast<size_t>(m)] - shape);
    if (d > fit.deviation + 1e-9) {
      fit.deviation = d;
      fit.reading = m;
    }
    int j = m / 100 < 10 ? m / 100 : 9;
    double from = ShapeOutput(s, 100 * j);
    double line = from + (ShapeOutput(s, 100 * j + 100) - from) * (m - 100 * j) / 100.0;
    fit.between = std::max(fit.between, std::fabs(shape - line));
  }
  return fit;
}

}  // namespace zq::setup

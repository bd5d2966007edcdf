// Curve shapes: the points each named control writes, and what the panel's
// own evaluation of those points makes of the shape.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "control/curve_math.h"
#include "zq_check/check_model.h"
#include "zq_setup/curve_shape.h"

namespace zq::setup {
namespace {

std::string Points(const Curve& c) {
  std::string text;
  for (int k = 0; k < kCurvePoints; ++k) text += (k ? " " : "") + std::to_string(c[k]);
  return text;
}

TEST(CurveShape, EachControlWritesThePointsThatMakeIt) {
  struct Case {
    CurveShape shape;
    std::string points;
    bool exact;
  };
  const std::vector<Case> cases = {
      {{}, "0 100 100 100 100 100 100 100 100 100 100", true},
      // 10 % is point 1: the dead zone ends on a point, and the line after it
      // reaches full deflection at 100 %
      {{10, 100, 0, false}, "0 0 56 74 83 89 93 95 97 99 100", true},
      // full at 90 %: gain 1000 / 9 up to there
      {{0, 90, 0, false}, "0 111 111 111 111 111 111 111 111 111 100", true},
      {{0, 100, 0, true}, "0 -100 -100 -100 -100 -100 -100 -100 -100 -100 -100", true},
      // 0.6 x + 0.4 x^3: the gain at point k is 60 + 0.4 k^2
      {{0, 100, 40, false}, "0 60 62 64 66 70 74 80 86 92 100", true},
      {{10, 90, 0, true}, "0 0 -63 -83 -94 -100 -104 -107 -109 -111 -100", true},
      // a dead zone ending between points, a bend the points cannot follow
      {{5, 100, 0, false}, "0 53 79 88 92 95 96 98 99 99 100", false},
      {{0, 100, 100, false}, "0 1 4 9 16 25 36 49 64 81 100", false},
      {{0, 100, -100, false}, "0 271 244 219 196 175 156 139 124 111 100", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.points);
    ASSERT_EQ(ShapeProblem(c.shape), "");
    Curve curve = ShapeCurve(c.shape);
    EXPECT_EQ(Points(curve), c.points);
    ShapeFit fit = FitShape(c.shape, curve);
    EXPECT_EQ(fit.exact(), c.exact) << fit.deviation << " at " << fit.reading;
    // never past full deflection, and the output never turns back
    CurveTable table = ComputeCurveTable(curve);
    int dir = 0;
    for (int m = 1; m <= 1000; ++m) {
      ASSERT_LE(std::abs(table[static_cast<size_t>(m)]), 100) << m;
      int step = table[static_cast<size_t>(m)] - table[static_cast<size_t>(m - 1)];
      if (step != 0 && dir == 0) dir = step > 0 ? 1 : -1;
      ASSERT_GE(step * dir, 0) << m;
    }
  }
}

TEST(CurveShape, TheShapeIsTheSameBothWaysAndEndsAtItsEdges) {
  CurveShape s{10, 80, 30, false};
  for (int m = 0; m <= 1000; m += 25) EXPECT_EQ(ShapeOutput(s, -m), -ShapeOutput(s, m)) << m;
  EXPECT_EQ(ShapeOutput(s, 100), 0);
  EXPECT_EQ(ShapeOutput(s, 800), 100);
  EXPECT_EQ(ShapeOutput(s, 1000), 100);
  s.invert = true;
  EXPECT_EQ(ShapeOutput(s, 1000), -100);
  EXPECT_EQ(ShapeOutput(s, -1000), 100);
}

TEST(CurveShape, RefusesShapesThatCannotBe) {
  for (CurveShape s : {CurveShape{-1, 100, 0, false}, CurveShape{50, 50, 0, false},
                       CurveShape{0, 0, 0, false}, CurveShape{0, 101, 0, false},
                       CurveShape{0, 100, 101, false}, CurveShape{0, 100, -101, false}}) {
    EXPECT_NE(ShapeProblem(s), "") << s.deadZone << " " << s.saturation << " " << s.curvature;
  }
}

// zq-check has nothing to say of what a preset writes, on any curve.
TEST(CurveShape, PresetsWriteCurvesZqCheckPasses) {
  for (const ShapePreset& p : kShapePresets) {
    ASSERT_EQ(ShapeProblem(p.shape), "") << p.name;
    for (bool invert : {false, true}) {
      CurveShape s = p.shape;
      s.invert = invert;
      std::string text = Points(ShapeCurve(s));
      check::CheckResult r = check::CheckSettingsText(
          "Setup.ini", "[main]\nY=" + text + "\nTrimX=" + text + "\nchat=-1 192\n");
      for (const check::Diagnostic& d : r.diagnostics) {
        EXPECT_EQ(d.kind.rfind("curve", 0), std::string::npos) << p.name << ": " << d.message;
      }
    }
  }
}

}  // namespace
}  // namespace zq::setup

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "config/curve_bank.h"
#include "config/settings_file.h"
#include "control/curve_math.h"

namespace zq {
namespace {

Curve Points(std::initializer_list<int32_t> points) {
  Curve c;
  size_t k = 0;
  for (int32_t p : points) c.slot[k++] = p;
  return c;
}

Curve Parsed(std::string_view text) {
  Curve c;
  ParseCurve(text, c);
  return c;
}

TEST(ParseCurve, FillsPointsUntilTheFirstBadToken) {
  struct Case {
    const char* text;
    Curve expected;
  };
  const Case cases[] = {
      {"0 100", Points({0, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100})},
      {"0 40 70 90 100", Points({0, 40, 70, 90, 100, 100, 100, 100, 100, 100, 100})},
      {"", Points({})},
      {"0 50 word 7", Points({0, 50})},
      {"0  100", Points({0})},  // two blanks: an empty token stops the curve
      {"7", Points({7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7})},
      {"1 2 3 4 5 6 7 8 9 10 11 12 13", Points({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11})},
      {"$10 0x20 -3", Points({16, 32, -3, -3, -3, -3, -3, -3, -3, -3, -3})},
      {"0 99999999999", Points({0})},
      {"0\t100", Points({})},
  };
  for (const Case& c : cases) {
    Curve got = Parsed(c.text);
    EXPECT_EQ(got.slot, c.expected.slot) << c.text;
    EXPECT_EQ(got.slot[11], 0) << c.text;
  }
}

TEST(ParseCurve, KeepsPointsItDoesNotReach) {
  Curve c = Points({5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5});
  ParseCurve("1 2 bad", c);
  EXPECT_EQ(c.slot, Points({1, 2, 5, 5, 5, 5, 5, 5, 5, 5, 5}).slot);
}

CurveBank Load(std::string_view file) {
  CurveBank bank;
  LoadCurves(ProfileTextSettings(file), bank);
  return bank;
}

TEST(LoadCurves, CountsCurveSetsByKeysPresent) {
  CurveBank b = Load("[main]\nY1=0 50\nY3=0 30\nX2=0 20\nX3=0 10\nZ=0 70\n");
  EXPECT_EQ(b.curveCount, 3);
  EXPECT_EQ(b.curvesY[1][1], 50);
  EXPECT_EQ(b.curvesY[2].slot, Curve{}.slot);       // the gap stays all zero
  EXPECT_EQ(b.curvesY[3][1], 30);                   // loaded, never selectable
  EXPECT_EQ(b.curvesX[1].slot, b.curvesX[0].slot);  // copied
  EXPECT_EQ(b.curvesX[2][1], 20);
  EXPECT_EQ(b.curvesX[3].slot, Curve{}.slot);  // beyond curveCount: not read
  EXPECT_EQ(b.curvesZ[1][1], 70);
  EXPECT_EQ(b.curvesZ[2][1], 70);
  EXPECT_EQ(b.curveTrimY[10], 100);
  EXPECT_EQ(b.curveIndex, 0);
}

TEST(LoadCurves, EdgeCasesOfTheCurveKeys) {
  EXPECT_EQ(Load("[main]\nY1=\n").curveCount, 2);
  EXPECT_EQ(Load("[main]\nY1=\n").curvesY[1].slot, Curve{}.slot);
  CurveBank b = Load("[main]\nY1=0 1\nX2=0 5\nX1=0 50 x\n");
  EXPECT_EQ(b.curvesX[1].slot, Points({0, 50}).slot);  // bad number: partial, not a copy
  EXPECT_EQ(Load("[main]\ny1=0 1\n").curveCount, 2);
  EXPECT_EQ(Load("[main]\nY10=0 1\nY01=0 1\n").curveCount, 1);
  std::string longText = "0";
  while (longText.size() < 3000) longText += " 1";
  EXPECT_EQ(Load("[main]\nY=" + longText + "\n").curvesY[0][10], 1);
  EXPECT_EQ(Load("[main]\nY=  0 25  \n").curvesY[0][10], 25);  // stripped
  CurveBank none = Load("");
  EXPECT_EQ(none.curveCount, 1);
  for (const Curve* c : {&none.curvesY[0], &none.curvesX[0], &none.curvesZ[0], &none.curveTrimY,
                         &none.curveTrimX, &none.curveTrimZ}) {
    EXPECT_EQ(c->slot, Parsed("0 100").slot);
  }
}

struct Reading {
  int32_t in, out;
};

TEST(EvaluateCurve, WorkedExamples) {
  Curve straight = Parsed("100");
  const Reading straightCases[] = {{0, 0},      {5, 0},    {6, 1},       {15, 2},      {25, 2},
                                   {35, 4},     {125, 12}, {994, 99},    {995, 100},   {999, 100},
                                   {1000, 100}, {-25, -2}, {-995, -100}, {-1000, -100}};
  for (const Reading& r : straightCases) EXPECT_EQ(EvaluateCurve(r.in, straight), r.out) << r.in;

  Curve dip = Points({0, 100, 100, 100, 100, 50, 100, 100, 100, 100, 100});
  const Reading dipCases[] = {{450, 32}, {500, 25}, {550, 42}, {560, 46}, {600, 60}, {-550, -42}};
  for (const Reading& r : dipCases) EXPECT_EQ(EvaluateCurve(r.in, dip), r.out) << r.in;

  Curve zero;
  for (int a = -1000; a <= 1000; a += 7) EXPECT_EQ(EvaluateCurve(a, zero), 0);
}

TEST(EvaluateCurve, PointZeroNeverMattersAndEndsGivePointTen) {
  for (int32_t p0 : {0, 100, -5000, 2147483647}) {
    Curve c = Points({p0, 10, 20, 30, 40, 50, 60, 70, 80, 90, 77});
    EXPECT_EQ(EvaluateCurve(0, c), 0);
    EXPECT_EQ(EvaluateCurve(50, c), EvaluateCurve(50, Points({0, 10})));
    EXPECT_EQ(EvaluateCurve(1000, c), 77);
    EXPECT_EQ(EvaluateCurve(-1000, c), -77);
  }
}

TEST(EvaluateCurve, ReadingsBeyondTheScaleAreConfined) {
  Curve c = Parsed("0 100");
  EXPECT_EQ(EvaluateCurve(1000000, c), 100);
  EXPECT_EQ(EvaluateCurve(INT32_MIN, c), -100);
  EXPECT_EQ(EvaluateCurve(INT32_MAX, c), 100);
}

// The evaluation as an x86-64 compiler does it with the 80-bit long double.
int32_t LongDoubleEvaluation(int32_t a, const Curve& c) {
  auto value = [&](int k) -> long double {
    if (k == 0) return 0;
    int32_t product = Wrap32(int64_t{c[k]} * (10 * k));
    volatile long double q = static_cast<long double>(product) / 100.0L;
    volatile double d = static_cast<double>(q);
    return d;
  };
  int32_t m = a < 0 ? -a : a;
  int32_t j = m / 100;
  long double r;
  if (j == 10) {
    r = value(10);
  } else {
    volatile long double v0 = value(j);
    volatile long double d = value(j + 1) - v0;
    volatile long double q = static_cast<long double>(m) / 10;
    volatile long double f = q - 10 * j;
    volatile long double p = d * f;
    volatile long double step = p / 10;
    r = v0 + step;
  }
  auto rounded = static_cast<int32_t>(std::nearbyintl(r));
  return a < 0 ? -rounded : rounded;
}

std::vector<Curve> SweepCurves() {
  std::vector<Curve> curves = {
      Parsed("100"),
      Parsed("0 100"),
      Points({0, 100, 100, 100, 100, 50, 100, 100, 100, 100, 100}),
      Points({0, -100, -50, -33, -1, 1, 33, 50, 99, 101, 150}),
      Points({0, 2147483647, -2147483648, 214748364, 21474836, 300000000, -300000001, 7, 1,
              1073741824, 2147483647}),
      Points({0, 3, 7, 11, 13, 17, 19, 23, 29, 31, 37}),
      Points({0, 333, 666, 999, 1, 2, 3, 4, 5, 6, 7}),
      Points({0, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100}),
  };
  uint32_t seed = 12345;
  auto next = [&] {
    seed = seed * 1664525u + 1013904223u;
    return seed;
  };
  for (int n = 0; n < 120; ++n) {
    Curve c;
    for (int k = 0; k < 11; ++k) {
      uint32_t r = next();
      switch (n % 4) {
        case 0:
          c.slot[static_cast<size_t>(k)] = static_cast<int32_t>(r % 201) - 50;
          break;
        case 1:
          c.slot[static_cast<size_t>(k)] = static_cast<int32_t>(r % 20001) - 10000;
          break;
        case 2:
          c.slot[static_cast<size_t>(k)] = static_cast<int32_t>(r);
          break;
        default:
          c.slot[static_cast<size_t>(k)] = static_cast<int32_t>(r % 1000) * 7 + 1;
          break;
      }
    }
    curves.push_back(c);
  }
  return curves;
}

TEST(EvaluateCurve, FastPathAgreesWithExactArithmeticEverywhere) {
  for (const Curve& c : SweepCurves()) {
    PointValues values = ComputePointValues(c);
    for (int32_t a = -1000; a <= 1000; ++a) {
      ASSERT_EQ(EvaluateCurve(a, values), EvaluateCurveExact(a, values))
          << "reading " << a << " point " << c[a < 0 ? -a / 100 : a / 100];
    }
  }
}

TEST(EvaluateCurve, MatchesThe80BitEvaluation) {
  if (std::numeric_limits<long double>::digits != 64) {
    GTEST_SKIP() << "long double is not the 80-bit format here";
  }
  for (const Curve& c : SweepCurves()) {
    PointValues values = ComputePointValues(c);
    for (int32_t a = -1000; a <= 1000; ++a) {
      ASSERT_EQ(EvaluateCurve(a, values), LongDoubleEvaluation(a, c))
          << "reading " << a << " points " << c[a < 0 ? -a / 100 : a / 100] << ", "
          << c[(a < 0 ? -a / 100 : a / 100) + (std::abs(a) < 1000 ? 1 : 0)];
    }
  }
}

TEST(TrimMix, WorkedExamples) {
  struct Case {
    int32_t axis, trim, out;
  };
  const Case cases[] = {{0, 30, 15},    {100, 30, 100}, {-100, 30, -100}, {50, 30, 57},
                        {-50, 30, -43}, {50, -31, 43},  {-50, -31, -57},  {7, 1, 7},
                        {7, -1, 7},     {25, -50, 6},   {33, 33, 44},     {0, 0, 0},
                        {-1, 0, -1},    {1, 0, 1}};
  for (const Case& c : cases) EXPECT_EQ(TrimMix(c.axis, c.trim), c.out) << c.axis << "," << c.trim;
}

TEST(TrimMix, HugeArgumentsWrapAsSigned32BitArithmetic) {
  // 30000000 * 100 wraps to -1294967296; / 100 rounds to -12949673
  EXPECT_EQ(TrimMix(30000000, 0), -12949673);
  // Every extreme wraps the same way, with no overflow trap (the sanitizer
  // build checks that): axis x (100 -+ trim / 2) in 32 bits, then / 100
  // rounded half to even, then + trim / 2 in 32 bits.
  struct Case {
    int32_t axis, trim, out;
  };
  const Case cases[] = {
      {INT32_MIN, INT32_MIN, -1073741824},
      {INT32_MIN, -1, 0},
      {INT32_MIN, 1, 0},
      {INT32_MIN, INT32_MAX, 1052266987},
      {-1, INT32_MIN, -1063004407},
      {-1, INT32_MAX, 1063004404},
      {0, INT32_MIN, -1073741824},
      {0, INT32_MAX, 1073741823},
      {1, INT32_MIN, -1063004405},
      {1, INT32_MAX, 1063004406},
      {INT32_MAX, INT32_MIN, -1084479243},
      {INT32_MAX, -1, -1},
      {INT32_MAX, 0, -1},
      {INT32_MAX, INT32_MAX, 1063004404},
  };
  for (const Case& c : cases) EXPECT_EQ(TrimMix(c.axis, c.trim), c.out) << c.axis << "," << c.trim;
}

TEST(Limit, ConfinesToTheBound) {
  EXPECT_EQ(Limit(150, 100), 100);
  EXPECT_EQ(Limit(-150, 100), -100);
  EXPECT_EQ(Limit(100, 100), 100);
  EXPECT_EQ(Limit(-100, 100), -100);
  EXPECT_EQ(Limit(-7, 100), -7);
  EXPECT_EQ(Limit(INT32_MIN, 100), -100);
}

}  // namespace
}  // namespace zq

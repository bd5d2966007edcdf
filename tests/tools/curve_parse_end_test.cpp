// Where ParseCurve stops: what zq-check reports about a curve text.
#include <gtest/gtest.h>

#include <string>

#include "config/curve_bank.h"

namespace zq {
namespace {

TEST(CurveParseEnd, NamesTheTokenThatStoppedTheCurve) {
  struct Case {
    std::string text;
    int badPoint;
    std::string badToken;
    std::string ignored;
  };
  const Case cases[] = {
      {"0 100", kCurvePoints, "", ""},
      {"50", kCurvePoints, "", ""},
      {"0 10 20 30 40 50 60 70 80 90 100", kCurvePoints, "", ""},
      {"0 10 20 30 40 50 60 70 80 90 100 110 120", kCurvePoints, "", "110 120"},
      {"0 10 20 30 40 50 60 70 80 90 100 ", kCurvePoints, "", ""},  // after stripping: none
      {"", 0, "", ""},
      {"0 50 abc 70", 2, "abc", ""},
      {"0  100", 1, "", ""},
      {"0\t100", 0, "0\t100", ""},
      {"1 2 3 4 5 6 7 8 9 10 x", 10, "x", ""},
  };
  for (const Case& c : cases) {
    Curve curve;
    CurveParseEnd end = ParseCurve(c.text, curve);
    EXPECT_EQ(end.badPoint, c.badPoint) << c.text;
    EXPECT_EQ(end.badToken, c.badToken) << c.text;
    EXPECT_EQ(end.ignored, c.ignored) << c.text;
  }
}

}  // namespace
}  // namespace zq

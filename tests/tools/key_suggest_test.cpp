#include "zq_check/key_suggest.h"

#include <gtest/gtest.h>

#include <string>

namespace zq::check {
namespace {

TEST(SuggestKey, FindsTheKeyAMisspellingMeant) {
  struct Case {
    std::string typed;
    std::string suggestion;  // "" when nothing is close enough
  };
  const Case cases[] = {
      {"PowerPluss", "PowerPlus"},
      {"powerplu", "PowerPlus"},
      {"POWERMINUS2", "PowerMinus"},
      {"startflap", "startflaps"},
      {"Start_Trim", "starttrim"},
      {"TrimAxsi", "TrimAxis"},
      {"Yaxes", "Yaxis"},
      {"Fire 2", "Fire2"},
      {"WindowXX", "WindowX"},
      {"Y 1", "Y1"},
      {"curve_up", "curveup"},
      {"flapdown", "flapsdown"},
      {"Colour", ""},
      {"Q", ""},
      {"volume", ""},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(SuggestKey(c.typed), c.suggestion) << c.typed;
}

TEST(SuggestKey, KnowsEveryKeyThePanelReads) {
  for (const char* key : {"trimbtn", "USETRIM", "useytrim", "Fire12", "chat", "power", "Yaxis",
                          "TrimZAxis", "y", "Y9", "x1", "Z9", "TrimX", "windowy", "starttrim"}) {
    EXPECT_TRUE(IsKnownSettingKey(key)) << key;
  }
  for (const char* key : {"Y10", "X0", "Y01", "Trim", "PowerPluss", ""}) {
    EXPECT_FALSE(IsKnownSettingKey(key)) << key;
  }
  EXPECT_TRUE(LooksLikeCurveSetKey("y12"));
  EXPECT_TRUE(LooksLikeCurveSetKey("X01"));
  EXPECT_FALSE(LooksLikeCurveSetKey("Y"));
  EXPECT_FALSE(LooksLikeCurveSetKey("Yaxis"));
}

TEST(EditDistance, CountsEditsIgnoringCaseAndStopsAtTheLimit) {
  EXPECT_EQ(EditDistance("PowerPlus", "powerplus", 3), 0u);
  EXPECT_EQ(EditDistance("PowerPluss", "PowerPlus", 3), 1u);
  EXPECT_EQ(EditDistance("Fier2", "Fire2", 3), 2u);  // a swap is two edits
  EXPECT_EQ(EditDistance("kitten", "sitting", 5), 3u);
  EXPECT_EQ(EditDistance("abc", "xyz", 2), 3u);  // limit + 1
  // a megabyte of name is dismissed by its length alone
  std::string huge(1 << 20, 'A');
  EXPECT_EQ(EditDistance(huge, "PowerPlus", 3), 4u);
  EXPECT_EQ(SuggestKey(huge), "");
}

}  // namespace
}  // namespace zq::check

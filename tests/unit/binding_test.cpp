#include "config/binding.h"

#include <gtest/gtest.h>

#include <string>

#include "config/settings_file.h"
#include "config/settings_load.h"

namespace zq {
namespace {

// A layout where '*' (42) names virtual key 106 (the keypad's multiply).
class TestKeyMap : public KeyCharMap {
 public:
  int32_t VirtualKeyOfChar(unsigned char c) const override { return c == '*' ? 106 : 0; }
};

struct BindingCase {
  std::string text;
  Binding expected;
};

TEST(ParseBinding, ReadsBothForms) {
  const BindingCase cases[] = {
      {"a", {-1, 65, false, false, false}},
      {"A", {-1, 65, false, false, false}},
      {"[shift]q", {-1, 81, false, false, true}},
      {"F1", {-1, 49, false, false, false}},  // one character names the key
      {"192", {-1, 50, false, false, false}},
      {"-1 192", {-1, 192, false, false, false}},
      {"[CTRL]", {-1, 221, true, false, false}},
      {"Q[ALT]", {-1, 221, false, true, false}},
      {"-1 65", {-1, 65, false, false, false}},
      {"[CTRL]+A", {-1, 65, true, false, false}},
      {"[ctrl][alt][shift]7", {-1, 55, true, true, true}},
      {"1  3", {1, 3, false, false, false}},
      {"$0 $1F", {0, 31, false, false, false}},
      {"+2 -0", {2, 0, false, false, false}},
      {"-1 0", {-1, 0, false, false, false}},
      {"-1 300", {-1, 300, false, false, false}},
      {"  \t 3 5 \r\n", {3, 5, false, false, false}},
      {"1\t3", {-1, 51, false, false, false}},  // a tab is no separator
      {"`", {-1, 192, false, false, false}},
      {"-", {-1, 189, false, false, false}},
      {"=", {-1, 187, false, false, false}},
      {"/", {-1, 191, false, false, false}},
      {",", {-1, 188, false, false, false}},
      {".", {-1, 190, false, false, false}},
      {";", {-1, 186, false, false, false}},
      {"[", {-1, 219, false, false, false}},
      {"\\", {-1, 220, false, false, false}},
      {"]", {-1, 221, false, false, false}},
      {"'", {-1, 222, false, false, false}},
      {"*", {-1, 106, false, false, false}},   // asked of the platform
      {"\xE9", {-1, 0, false, false, false}},  // no key for it here
  };
  TestKeyMap keyMap;
  for (const BindingCase& c : cases) {
    Binding b;
    EXPECT_FALSE(ParseBinding(c.text, b, keyMap).has_value()) << c.text;
    EXPECT_EQ(b.device, c.expected.device) << c.text;
    EXPECT_EQ(b.code, c.expected.code) << c.text;
    EXPECT_EQ(b.ctrl, c.expected.ctrl) << c.text;
    EXPECT_EQ(b.alt, c.expected.alt) << c.text;
    EXPECT_EQ(b.shift, c.expected.shift) << c.text;
  }
}

TEST(ParseBinding, NumericFormKeepsTheFlags) {
  Binding b{-1, 65, true, true, true};
  ASSERT_FALSE(ParseBinding("2 7", b, NoKeyCharMap()).has_value());
  EXPECT_EQ(b.device, 2);
  EXPECT_EQ(b.code, 7);
  EXPECT_TRUE(b.ctrl && b.alt && b.shift);
}

TEST(ParseBinding, MalformedNumbersNameTheOffendingPart) {
  struct ErrorCase {
    std::string text;
    std::string message;
    int32_t deviceAfter;
  };
  const ErrorCase cases[] = {
      {"[ctrl] a", "'[CTRL]' is not a valid integer value", 9},
      {"1 3 4", "'3 4' is not a valid integer value", 1},  // device stored before the code fails
      {"joy 3", "'JOY' is not a valid integer value", 9},
      {"0 x", "'X' is not a valid integer value", 0},
      {"1 ", "", 1},  // stripped to "1": key text, no error
  };
  for (const ErrorCase& c : cases) {
    Binding b{9, 9, false, false, false};
    auto error = ParseBinding(c.text, b, NoKeyCharMap());
    if (c.message.empty()) {
      EXPECT_FALSE(error.has_value()) << c.text;
      continue;
    }
    ASSERT_TRUE(error.has_value()) << c.text;
    EXPECT_EQ(error->Message(), c.message);
    EXPECT_EQ(b.device, c.deviceAfter) << c.text;
    EXPECT_EQ(b.code, 9) << c.text;
  }
}

TEST(ParseBinding, EmptyTextLeavesTheRecordAlone) {
  Binding b{3, 4, true, false, false};
  BindingForm form = BindingForm::numeric;
  EXPECT_FALSE(ParseBinding(" \t\r\n", b, NoKeyCharMap(), &form).has_value());
  EXPECT_EQ(form, BindingForm::empty);
  EXPECT_EQ(b.device, 3);
  EXPECT_EQ(b.code, 4);
  EXPECT_TRUE(b.ctrl);
}

TEST(WatchBindingKeys, AddsKeyAndModifiersOnlyInsideTheTable) {
  KeySet keys;
  WatchBindingKeys({-1, 300, false, false, false}, keys);
  WatchBindingKeys({-1, -5, false, false, false}, keys);
  WatchBindingKeys({2, 65, true, false, false}, keys);  // modifiers ignore the device
  WatchBindingKeys({-1, 0, false, true, true}, keys);
  std::string seen;
  keys.ForEach([&](int vk) { seen += std::to_string(vk) + " "; });
  EXPECT_EQ(seen, "0 16 17 18 ");
}

std::string Keys(const KeySet& set) {
  std::string s;
  set.ForEach([&](int vk) { s += std::to_string(vk) + " "; });
  return s;
}

TEST(LoadBindings, DefaultsWatchSixKeysAndJoystickZero) {
  LoadedSettings out;
  CurveBank bank;
  ASSERT_FALSE(LoadSettings(ProfileTextSettings(""), NoKeyCharMap(), out, bank).has_value());
  EXPECT_EQ(Keys(out.watchedKeys), "0 13 27 73 144 192 ");
  EXPECT_EQ(out.joyUsed.bits, 1u);
  EXPECT_EQ(out.bindings[Slot::chat].code, 192);
  EXPECT_EQ(out.bindings[Slot::power].code, 73);
  EXPECT_EQ(out.bindings[Slot::Yaxis].device, 0);
  EXPECT_EQ(out.bindings[Slot::Yaxis].code, 1);
}

TEST(LoadBindings, AnErrorEndsTheLoadAtItsSlot) {
  // slot 3 (trimXbtn) on joystick 4, slot 5 (fire) fails in its code
  ProfileTextSettings s(
      "[main]\ntrimXbtn=4 2\nfire=7 x\nchat=-1 65\nY=0 50\nWindowX=3\nstarttrim=9\n");
  LoadedSettings out;
  CurveBank bank;
  auto error = LoadSettings(s, NoKeyCharMap(), out, bank);
  ASSERT_TRUE(error.has_value());
  EXPECT_EQ(error->slot, Slot::fire);
  EXPECT_EQ(error->error.Message(), "'X' is not a valid integer value");
  EXPECT_EQ(out.bindings[Slot::fire].device, 7);  // its device was stored
  EXPECT_EQ(out.bindings[Slot::chat].device, 0);  // later slots stay all zero
  EXPECT_EQ(out.bindings[Slot::chat].code, 0);
  EXPECT_EQ(out.joyUsed.bits, (1u << 0) | (1u << 4));  // the failing slot adds nothing
  EXPECT_EQ(Keys(out.watchedKeys), "13 27 144 ");
  EXPECT_EQ(bank.curveCount, 0);
  EXPECT_EQ(bank.curvesY[0][1], 0);
  EXPECT_EQ(out.windowX, 0);
  EXPECT_EQ(out.startTrim, 0);
}

TEST(LoadBindings, EmptyBindingStaysUnboundAndAddsNothing) {
  ProfileTextSettings s(
      "[main]\ntrimbtn=\nusetrim=\nuseYtrim=  \ntrimXbtn=\ntrimZbtn=\nfire=\n"
      "Fire2=\nFire12=\ncurveup=\ncurvedown=\nresetbtn=\nflapsup=\nflapsdown=\n"
      "Yaxis=\nIncZtrim=\nDecZtrim=\nPowerMinus=\nPowerPlus=\nchat=\npower=\n");
  LoadedSettings out;
  CurveBank bank;
  ASSERT_FALSE(LoadSettings(s, NoKeyCharMap(), out, bank).has_value());
  EXPECT_EQ(out.joyUsed.bits, 0u);
  EXPECT_EQ(Keys(out.watchedKeys), "0 13 27 144 ");  // "-1 0" of the trim axes remains
  EXPECT_EQ(bank.curveCount, 1);
  EXPECT_TRUE(out.bindings[Slot::Yaxis].unbound);
  EXPECT_EQ(out.bindings[Slot::Yaxis].device, 0);  // the record stays as it was
  EXPECT_FALSE(out.bindings[Slot::Xaxis].unbound);
}

}  // namespace
}  // namespace zq

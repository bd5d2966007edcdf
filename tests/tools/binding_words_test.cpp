#include "zq_check/binding_words.h"

#include <gtest/gtest.h>

#include <string>

namespace zq::check {
namespace {

struct WordsCase {
  Binding binding;
  SlotTest test;
  std::string words;
};

TEST(DescribeBinding, SaysWhatTheTickWillDo) {
  JoySet polled;
  polled.Add(0);
  polled.Add(1);
  const WordsCase cases[] = {
      {{1, 5}, SlotTest::pressed, "joystick 1, button 5"},
      {{0, 0}, SlotTest::pressed, "joystick 0, button 32 (code 0)"},
      {{0, 33}, SlotTest::held, "joystick 0, button 1 (code 33 selects button 1)"},
      {{0, -1}, SlotTest::held, "joystick 0, button 31 (code -1 selects button 31)"},
      {{2, 4}, SlotTest::pressed, "joystick 2, button 4; joystick 2 is not polled: never pressed"},
      {{0, 1}, SlotTest::axis, "joystick 0, axis Y"},
      {{1, 3}, SlotTest::axis, "joystick 1, axis R"},
      {{0, 6}, SlotTest::axis, "joystick 0, record word 6 (the button bits, not an axis)"},
      {{0, 11}, SlotTest::axis, "joystick 0, record word 11 (outside the record): reads 0"},
      {{3, 0},
       SlotTest::axis,
       "joystick 3, axis X; joystick 3 is not polled, so this reads -1000 (full deflection) all "
       "the time"},
      {{16, 1}, SlotTest::pressed, "joystick 16 does not exist (ids 0 to 15): never pressed"},
      {{-2, 1}, SlotTest::axis, "joystick -2 does not exist (ids 0 to 15): reads 0"},
      {{-1, 65, true}, SlotTest::pressed, "key [CTRL]+A (virtual key 65)"},
      {{-1, 112}, SlotTest::pressed, "key F1 (virtual key 112)"},
      {{-1, 192}, SlotTest::pressed, "key ` (virtual key 192)"},
      {{-1, 7}, SlotTest::pressed, "virtual key 7"},
      {{-1, 7, true, true}, SlotTest::pressed, "virtual key 7 with [CTRL]+[ALT]"},
      {{-1, 87, false, true, true},
       SlotTest::held,
       "key [ALT]+[SHIFT]+W (virtual key 87); held counts the key alone, Ctrl, Alt and Shift are "
       "not checked"},
      {{-1, 0}, SlotTest::pressed, "not bound: keyboard code 0 is no key and is never pressed"},
      {{-1, 0}, SlotTest::axis, "not bound: keyboard code 0 as an axis always reads 0"},
      {{-1, 65},
       SlotTest::axis,
       "not bound: a keyboard key (A, virtual key 65) as an axis always reads 0"},
      {{-1, 300}, SlotTest::pressed, "keyboard code 300 is outside 0..255: never pressed"},
      {{-1, -5}, SlotTest::axis, "not bound: keyboard code -5 as an axis always reads 0"},
  };
  for (const WordsCase& c : cases) {
    EXPECT_EQ(DescribeBinding(c.binding, c.test, polled, 0), c.words)
        << c.binding.device << " " << c.binding.code;
  }
}

TEST(DescribeBinding, LeavesLayoutKeysToTheLayout) {
  EXPECT_EQ(LayoutCharOf("[ctrl]*"), '*');
  EXPECT_EQ(LayoutCharOf("  \xE9\t"), 0xE9);
  EXPECT_EQ(LayoutCharOf("a"), 0);
  EXPECT_EQ(LayoutCharOf(";"), 0);     // in the punctuation table
  EXPECT_EQ(LayoutCharOf("-1 *"), 0);  // the numeric form
  EXPECT_EQ(LayoutCharOf(""), 0);
  EXPECT_EQ(DescribeBinding({-1, 0, true}, SlotTest::pressed, JoySet{}, '*'),
            "key [CTRL]+'*': the keyboard layout decides its virtual key (zq-check cannot tell "
            "which)");
}

// The name the configurator shows beside a captured binding.
TEST(BindingName, NamesTheInputAsAPlayerSaysIt) {
  const WordsCase cases[] = {
      {{-1, 116}, SlotTest::pressed, "F5"},
      {{-1, 80, true}, SlotTest::pressed, "Ctrl+P"},
      {{-1, 87, false, true, true}, SlotTest::held, "Alt+Shift+W"},
      {{-1, 27}, SlotTest::pressed, "Escape"},
      {{-1, 192}, SlotTest::pressed, "`"},
      {{-1, 7}, SlotTest::pressed, "virtual key 7"},
      {{1, 4}, SlotTest::pressed, "joystick 1 button 4"},
      {{0, 0}, SlotTest::held, "joystick 0 button 32"},
      {{0, 1}, SlotTest::axis, "joystick 0 axis Y"},
      {{15, 5}, SlotTest::axis, "joystick 15 axis V"},
      // Nothing a player could press or move.
      {{-1, 0}, SlotTest::pressed, ""},
      {{-1, 300}, SlotTest::pressed, ""},
      {{-1, 65}, SlotTest::axis, ""},
      {{0, 6}, SlotTest::axis, ""},
      {{16, 1}, SlotTest::pressed, ""},
      {{0, 1, false, false, false, true}, SlotTest::pressed, ""},
  };
  for (const WordsCase& c : cases) {
    EXPECT_EQ(BindingName(c.binding, c.test), c.words) << c.binding.device << " " << c.binding.code;
  }
  EXPECT_EQ(BindingName({-1, 0, true}, SlotTest::pressed, '*'), "Ctrl+*");
}

}  // namespace
}  // namespace zq::check

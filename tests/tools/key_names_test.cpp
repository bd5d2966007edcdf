// Key names and chord texts shared by zq-probe on both systems and zq-check.
#include "input/key_names.h"

#include <gtest/gtest.h>

#include <string>

namespace zq {
namespace {

TEST(KeyNames, ChordTextIsTheBindingToWrite) {
  struct Case {
    KeyChord chord;
    std::string text;
  };
  const Case cases[] = {
      {{'P', true, false, false}, "[CTRL]P  (-1 80 with Ctrl)"},
      {{'P'}, "P  (-1 80)"},
      {{'7', true, true, false}, "[CTRL][ALT]7  (-1 55 with Ctrl and Alt)"},
      {{222, false, false, true}, "[SHIFT]'  (-1 222 with Shift)"},
      {{116}, "-1 116  (F5)"},
      {{13}, "-1 13  (Enter)"},
      {{116, true, false, false},
       "-1 116  (F5; Ctrl+F5 cannot be bound: a key without a character takes no modifiers)"},
      {{250}, "-1 250  (virtual key 250)"},
  };
  for (const Case& c : cases) EXPECT_EQ(ChordText(c.chord), c.text) << c.text;
}

TEST(KeyNames, NamesAndTheirKeysGoBothWays) {
  for (int vk = 1; vk < 256; ++vk) {
    std::string name = VirtualKeyName(vk);
    if (name.size() > 1) {
      EXPECT_EQ(VirtualKeyOfName(name), vk) << name;
    }
  }
  EXPECT_EQ(VirtualKeyOfName("esc"), 27);
  EXPECT_EQ(VirtualKeyOfName("PAGEUP"), 33);
  EXPECT_EQ(VirtualKeyOfName("Numpad5"), 101);
  EXPECT_EQ(VirtualKeyOfName("F24"), 135);
  EXPECT_EQ(VirtualKeyOfName("F25"), 0);
  EXPECT_EQ(VirtualKeyOfName("F05"), 0);
  EXPECT_EQ(VirtualKeyOfName("P"), 0);  // a character is the key-text form itself
  EXPECT_EQ(VirtualKeyOfName("Fire"), 0);
}

TEST(KeyNames, TextsWrittenWithKeyNamesAreRecognised) {
  struct Case {
    std::string text;
    bool isChord;
    std::string binding;  // what to write instead
  };
  const Case cases[] = {
      {"F5", true, "-1 116"},
      {"Enter", true, "-1 13"},
      {"Ctrl+P", true, "[CTRL]P"},
      {"ctrl+shift+a", true, "[CTRL][SHIFT]A"},
      {"[ALT]Space", true, "-1 32"},
      {"Esc", true, "-1 27"},
      {"P", false, ""},
      {"[CTRL]P", false, ""},
      {"[CTRL]+A", false, ""},
      {"-1 80", false, ""},
      {"AB", false, ""},
      {"Fire+P", false, ""},
      {"[SHIFT]", false, ""},
      {"", false, ""},
  };
  for (const Case& c : cases) {
    std::optional<KeyChord> chord = ChordOfKeyNameText(c.text);
    ASSERT_EQ(chord.has_value(), c.isChord) << c.text;
    if (chord) {
      EXPECT_EQ(BindingTextFor(*chord), c.binding) << c.text;
    }
  }
}

}  // namespace
}  // namespace zq

// Names of virtual keys, and the binding text that asks for a key or a chord.
// Shared by zq-probe on both systems and by zq-check.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zq {

// A player's name for a virtual key ("A", "F5", "Enter", "Numpad 1"); "" when
// it has none.
std::string VirtualKeyName(int32_t vk);

// The virtual key a player's name stands for: "F5", "Enter", "Esc", "PgUp",
// "Numpad5", "Space", in any letter case; 0 when the text names no key
// (single characters included: those are the key-text form itself).
int32_t VirtualKeyOfName(std::string_view name);

// True for Ctrl, Alt and Shift and their left and right keys.
bool IsModifierKey(int32_t vk);

// The character a key-text binding names the key by (letters, digits and the
// punctuation table); 0 for keys that only the numeric form can name.
char KeyTextChar(int32_t vk);

struct KeyChord {
  int32_t vk = 0;
  bool ctrl = false;
  bool alt = false;
  bool shift = false;
};

// The modifiers of a key-text binding in the order a chord is written: the
// text that asks for one, the player's name of it and the keys that hold it
// (the key itself, then its left and right keys).
struct ModifierKey {
  std::string_view bindingText;
  std::string_view name;
  bool KeyChord::*held;
  std::array<int32_t, 3> keys;
};
constexpr std::array<ModifierKey, 3> kModifierKeys = {{
    {"[CTRL]", "Ctrl", &KeyChord::ctrl, {17, 162, 163}},
    {"[ALT]", "Alt", &KeyChord::alt, {18, 164, 165}},
    {"[SHIFT]", "Shift", &KeyChord::shift, {16, 160, 161}},
}};

// The chord a binding text means when it is written with key names, as a
// player would say it: "Ctrl+P", "alt+F4", "[SHIFT]Tab", "Enter". nullopt for
// texts that use no key name ("P", "[CTRL]P", "[CTRL]+A", "-1 80").
std::optional<KeyChord> ChordOfKeyNameText(std::string_view text);

// The binding text that asks for the chord: "[CTRL]P", "A", "-1 116". Keys
// without a character of their own take the numeric form, which cannot ask
// for Ctrl, Alt or Shift.
std::string BindingTextFor(const KeyChord& chord);

// "Ctrl+Alt+" for the chord's modifiers, "" without any.
std::string ModifierWords(const KeyChord& chord);

// The whole suggestion for a chord a player pressed:
//   "[CTRL]P  (-1 80 with Ctrl)", "P  (-1 80)", "-1 116  (F5)",
//   "-1 116  (F5; Ctrl+F5 cannot be bound: a key without a character takes no modifiers)".
std::string ChordText(const KeyChord& chord);

}  // namespace zq

#include "input/key_names.h"

#include <array>

#include "config/ascii.h"
#include "config/binding.h"

namespace zq {
namespace {

struct NamedKey {
  int32_t vk;
  std::string_view name;
};

// Keys without a character of their own, which players bind in the numeric form.
constexpr std::array<NamedKey, 40> kNamedKeys = {{
    {8, "Backspace"},     {9, "Tab"},          {12, "Clear"},        {13, "Enter"},
    {16, "Shift"},        {17, "Ctrl"},        {18, "Alt"},          {19, "Pause"},
    {20, "Caps Lock"},    {27, "Escape"},      {32, "Space"},        {33, "Page Up"},
    {34, "Page Down"},    {35, "End"},         {36, "Home"},         {37, "Left arrow"},
    {38, "Up arrow"},     {39, "Right arrow"}, {40, "Down arrow"},   {44, "Print Screen"},
    {45, "Insert"},       {46, "Delete"},      {91, "left Windows"}, {92, "right Windows"},
    {93, "Menu"},         {106, "Numpad *"},   {107, "Numpad +"},    {108, "Numpad separator"},
    {109, "Numpad -"},    {110, "Numpad ."},   {111, "Numpad /"},    {144, "Num Lock"},
    {145, "Scroll Lock"}, {160, "left Shift"}, {161, "right Shift"}, {162, "left Ctrl"},
    {163, "right Ctrl"},  {164, "left Alt"},   {165, "right Alt"},   {226, "<> key"},
}};

// Other spellings players use, compared without blanks and letter case.
constexpr std::array<NamedKey, 34> kAliases = {{
    {8, "BkSp"},       {8, "BS"},        {13, "Return"},     {27, "Esc"},       {17, "Control"},
    {17, "Ctl"},       {19, "Break"},    {32, "Spacebar"},   {33, "PgUp"},      {34, "PgDn"},
    {34, "PgDown"},    {37, "Left"},     {38, "Up"},         {39, "Right"},     {40, "Down"},
    {37, "LeftArrow"}, {38, "UpArrow"},  {39, "RightArrow"}, {40, "DownArrow"}, {44, "PrtSc"},
    {44, "PrtScr"},    {44, "PrintScr"}, {45, "Ins"},        {46, "Del"},       {91, "Win"},
    {91, "LWin"},      {92, "RWin"},     {93, "Apps"},       {160, "LShift"},   {161, "RShift"},
    {162, "LCtrl"},    {163, "RCtrl"},   {164, "LAlt"},      {165, "RAlt"},
}};

// Upper case without blanks, so "Page Up", "pageup" and "PAGE UP" compare equal.
std::string Squeezed(std::string_view s) {
  std::string out;
  for (char c : s) {
    if (c != ' ' && c != '_') out += AsciiUpper(c);
  }
  return out;
}

// "F5" .. "F24", "Numpad5", "Num5", "KP5".
int32_t NumberedKey(const std::string& n) {
  auto number = [&](size_t from, int lo, int hi) {
    if (n.size() <= from || n.size() > from + 2) return -1;
    int v = 0;
    for (size_t i = from; i < n.size(); ++i) {
      if (n[i] < '0' || n[i] > '9') return -1;
      v = v * 10 + (n[i] - '0');
    }
    return v >= lo && v <= hi && !(n.size() == from + 2 && n[from] == '0') ? v : -1;
  };
  if (n[0] == 'F') {
    int f = number(1, 1, 24);
    if (f > 0) return 111 + f;
  }
  for (std::string_view prefix : {"NUMPAD", "NUM", "KP"}) {
    if (n.rfind(prefix, 0) == 0) {
      int d = number(prefix.size(), 0, 9);
      if (d >= 0) return 96 + d;
    }
  }
  return 0;
}

// The key of a single character in the key-text form (letters, digits, the
// punctuation table); 0 for characters the keyboard layout decides.
int32_t KeyOfChar(char c) {
  c = AsciiUpper(c);
  if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return c;
  int32_t punct = PunctuationKey(static_cast<unsigned char>(c));
  return punct > 0 ? punct : 0;
}

const ModifierKey* ModifierOf(int32_t vk) {
  for (const ModifierKey& m : kModifierKeys) {
    for (int32_t key : m.keys) {
      if (key == vk) return &m;
    }
  }
  return nullptr;
}

}  // namespace

char KeyTextChar(int32_t vk) {
  if ((vk >= 'A' && vk <= 'Z') || (vk >= '0' && vk <= '9')) return static_cast<char>(vk);
  for (char c : std::string_view("`-=/,.;[\\]'")) {
    if (PunctuationKey(static_cast<unsigned char>(c)) == vk) return c;
  }
  return 0;
}

std::string VirtualKeyName(int32_t vk) {
  if (char c = KeyTextChar(vk); c != 0) return std::string(1, c);
  if (vk >= 96 && vk <= 105) return "Numpad " + std::to_string(vk - 96);
  if (vk >= 112 && vk <= 135) return "F" + std::to_string(vk - 111);
  for (const NamedKey& k : kNamedKeys) {
    if (k.vk == vk) return std::string(k.name);
  }
  return "";
}

int32_t VirtualKeyOfName(std::string_view name) {
  std::string n = Squeezed(name);
  if (n.size() < 2) return 0;
  if (int32_t vk = NumberedKey(n); vk != 0) return vk;
  for (const NamedKey& k : kNamedKeys) {
    if (Squeezed(k.name) == n) return k.vk;
  }
  for (const NamedKey& k : kAliases) {
    if (Squeezed(k.name) == n) return k.vk;
  }
  return 0;
}

bool IsModifierKey(int32_t vk) {
  return ModifierOf(vk) != nullptr;
}

std::optional<KeyChord> ChordOfKeyNameText(std::string_view text) {
  std::string t = Squeezed(text);
  KeyChord chord;
  bool worded = false;
  for (const ModifierKey& m : kModifierKeys) {
    for (size_t at; (at = t.find(m.bindingText)) != std::string::npos;) {
      t.erase(at, m.bindingText.size());
      chord.*m.held = true;
    }
  }
  // "Ctrl+Shift+P": every part before the last is a modifier's name
  std::string key;
  size_t start = 0;
  while (true) {
    size_t plus = t.find('+', start);
    // a '+' at the very end is the key itself ("Ctrl++" is no binding anyone writes)
    if (plus == std::string::npos || plus + 1 == t.size()) {
      key = t.substr(start);
      break;
    }
    std::string part = t.substr(start, plus - start);
    start = plus + 1;
    if (part.empty()) continue;  // "[CTRL]+A"
    const ModifierKey* m = ModifierOf(VirtualKeyOfName(part));
    if (m == nullptr) return std::nullopt;  // not a chord of names
    chord.*m->held = true;
    worded = true;
  }
  if (key.size() == 1) {
    chord.vk = KeyOfChar(key[0]);
  } else {
    chord.vk = VirtualKeyOfName(key);
    worded = chord.vk != 0;
  }
  if (!worded || chord.vk == 0) return std::nullopt;
  return chord;
}

std::string ModifierWords(const KeyChord& chord) {
  std::string words;
  for (const ModifierKey& m : kModifierKeys) {
    if (chord.*m.held) words.append(m.name).append("+");
  }
  return words;
}

std::string BindingTextFor(const KeyChord& chord) {
  char c = KeyTextChar(chord.vk);
  if (c == 0) return "-1 " + std::to_string(chord.vk);
  std::string text;
  for (const ModifierKey& m : kModifierKeys) {
    if (chord.*m.held) text.append(m.bindingText);
  }
  return text + c;
}

std::string ChordText(const KeyChord& chord) {
  std::string numeric = "-1 " + std::to_string(chord.vk);
  std::string mods = ModifierWords(chord);
  std::string name = VirtualKeyName(chord.vk);
  if (name.empty()) name = "virtual key " + std::to_string(chord.vk);
  if (KeyTextChar(chord.vk) != 0) {
    if (mods.empty()) return BindingTextFor(chord) + "  (" + numeric + ")";
    std::string with;
    for (const ModifierKey& m : kModifierKeys) {
      if (chord.*m.held) with.append(with.empty() ? "" : " and ").append(m.name);
    }
    return BindingTextFor(chord) + "  (" + numeric + " with " + with + ")";
  }
  if (mods.empty()) return numeric + "  (" + name + ")";
  return numeric + "  (" + name + "; " + mods + name +
         " cannot be bound: a key without a character takes no modifiers)";
}

}  // namespace zq

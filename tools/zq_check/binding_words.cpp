#include "zq_check/binding_words.h"

#include <array>

#include "config/curve_bank.h"
#include "input/joyinfo.h"

namespace zq::check {
namespace {

constexpr std::array<std::string_view, 5> kOtherWords = {
    "the button bits", "the button number", "the point-of-view hat", "reserved", "reserved"};

std::string Joystick(int32_t id) {
  return "joystick " + std::to_string(id);
}

std::string KeyboardWords(const Binding& b, SlotTest test, unsigned char layoutChar) {
  if (b.code < 0 || b.code > 255) {
    std::string code = "keyboard code " + std::to_string(b.code);
    return test == SlotTest::axis ? "not bound: " + code + " as an axis always reads 0"
                                  : code + " is outside 0..255: never pressed";
  }
  std::string name = VirtualKeyName(b.code);
  std::string number = "virtual key " + std::to_string(b.code);
  if (test == SlotTest::axis) {
    if (b.code == 0) return "not bound: keyboard code 0 as an axis always reads 0";
    return "not bound: a keyboard key (" + (name.empty() ? number : name + ", " + number) +
           ") as an axis always reads 0";
  }
  std::string chord;
  if (b.ctrl) chord += "[CTRL]+";
  if (b.alt) chord += "[ALT]+";
  if (b.shift) chord += "[SHIFT]+";
  if (layoutChar != 0) {
    return "key " + chord + "'" + std::string(1, static_cast<char>(layoutChar)) +
           "': the keyboard layout decides its virtual key (zq-check cannot tell which)";
  }
  if (b.code == 0) return "not bound: keyboard code 0 is no key and is never pressed";
  std::string words =
      name.empty() ? number + (chord.empty() ? "" : " with " + chord.substr(0, chord.size() - 1))
                   : "key " + chord + name + " (" + number + ")";
  if (test == SlotTest::held && (b.ctrl || b.alt || b.shift)) {
    words += "; held counts the key alone, Ctrl, Alt and Shift are not checked";
  }
  return words;
}

std::string AxisWords(const Binding& b, bool polled, bool curvesLoaded) {
  std::string words = Joystick(b.device) + ", ";
  if (b.code < 0 || b.code > 10) {
    return words + "record word " + std::to_string(b.code) + " (outside the record): reads 0";
  }
  if (b.code < 6) {
    words += "axis " + std::string(1, kAxisLetters[static_cast<size_t>(b.code)]);
  } else {
    words += "record word " + std::to_string(b.code) + " (" +
             std::string(kOtherWords[static_cast<size_t>(b.code - 6)]) + ", not an axis)";
  }
  if (!polled) {
    words += "; " + Joystick(b.device) + " is not polled";
    if (curvesLoaded) words += ", so this reads -1000 (full deflection) all the time";
  }
  return words;
}

std::string ButtonWords(const Binding& b, bool polled) {
  int button = ButtonNumber(b.code);
  std::string words = Joystick(b.device) + ", button " + std::to_string(button);
  if (b.code == 0) {
    words += " (code 0)";
  } else if (b.code != button) {
    words += " (code " + std::to_string(b.code) + " selects button " + std::to_string(button) + ")";
  }
  if (!polled) words += "; " + Joystick(b.device) + " is not polled: never pressed";
  return words;
}

}  // namespace

std::string DescribeKey(int32_t vk) {
  std::string name = VirtualKeyName(vk);
  std::string number = "virtual key " + std::to_string(vk);
  return name.empty() ? number : name + " (" + number + ")";
}

unsigned char LayoutCharOf(std::string_view bindingText) {
  std::string_view t = StripControls(bindingText);
  if (t.empty() || t.find(' ') != std::string_view::npos) return 0;
  unsigned char last = static_cast<unsigned char>(t.back());
  if (last >= 'a' && last <= 'z') return 0;
  if ((last >= 'A' && last <= 'Z') || (last >= '0' && last <= '9')) return 0;
  return PunctuationKey(last) >= 0 ? 0 : last;
}

int ButtonNumber(int32_t code) {
  return static_cast<int>((static_cast<uint32_t>(code) - 1u) & 31u) + 1;
}

std::string DescribeBinding(const Binding& b, SlotTest test, JoySet joyUsed,
                            unsigned char layoutChar, bool curvesLoaded) {
  if (b.unbound) {
    return test == SlotTest::axis ? "not bound: empty value, the axis reads 0"
                                  : "not bound: empty value, never pressed";
  }
  if (b.device == kKeyboard) return KeyboardWords(b, test, layoutChar);
  if (b.device < 0 || b.device >= kJoystickCount) {
    return Joystick(b.device) + " does not exist (ids 0 to 15): " +
           (test == SlotTest::axis ? "reads 0" : "never pressed");
  }
  bool polled = joyUsed.Contains(b.device);
  return test == SlotTest::axis ? AxisWords(b, polled, curvesLoaded) : ButtonWords(b, polled);
}

std::string BindingName(const Binding& b, SlotTest test, unsigned char layoutChar) {
  if (b.unbound) return "";
  if (b.device == kKeyboard) {
    if (test == SlotTest::axis) return "";
    std::string mods = ModifierWords(KeyChord{b.code, b.ctrl, b.alt, b.shift});
    // the keyboard layout decides its key: the character is its name
    if (layoutChar != 0) return mods + std::string(1, static_cast<char>(layoutChar));
    if (b.code <= 0 || b.code > 255) return "";
    std::string key = VirtualKeyName(b.code);
    return mods + (key.empty() ? "virtual key " + std::to_string(b.code) : key);
  }
  if (b.device < 0 || b.device >= kJoystickCount) return "";
  if (test != SlotTest::axis)
    return Joystick(b.device) + " button " + std::to_string(ButtonNumber(b.code));
  if (b.code < 0 || b.code >= static_cast<int32_t>(kAxisLetters.size())) return "";
  return Joystick(b.device) + " axis " + std::string(1, kAxisLetters[static_cast<size_t>(b.code)]);
}

}  // namespace zq::check

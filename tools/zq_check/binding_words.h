// Bindings in words, the way a player would say them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "config/binding.h"
#include "input/key_names.h"

namespace zq::check {

// A player's name for a virtual key ("A", "F1", "Num Lock"); "" when it has none.
using zq::VirtualKeyName;

// "A (virtual key 65)", or "virtual key 7" for a key without a name.
std::string DescribeKey(int32_t vk);

// The key a key-text binding names through the keyboard layout (a character
// other than a letter, a digit or the punctuation table), or 0.
unsigned char LayoutCharOf(std::string_view bindingText);

// The button bit a joystick binding tests: code 0 is button 32, 33 button 1.
int ButtonNumber(int32_t code);

// What the tick will do with `b` in a slot of the given test. `joyUsed` tells
// whether its joystick is polled at all; `layoutChar` is LayoutCharOf the
// binding's text. Without `curvesLoaded` (a load that ended early) an axis
// gives 0 whatever it reads.
std::string DescribeBinding(const Binding& b, SlotTest test, JoySet joyUsed,
                            unsigned char layoutChar, bool curvesLoaded = true);

// The input a binding names, as a player says it: "F5", "Ctrl+P",
// "joystick 1 button 4", "joystick 0 axis Y". "" for a binding that names no
// input the slot can use (empty, keyboard code 0, a key as an axis, a
// joystick id or record word outside the panel's tables). `layoutChar` as
// for DescribeBinding: such a key is named by its character.
std::string BindingName(const Binding& b, SlotTest test, unsigned char layoutChar = 0);

}  // namespace zq::check

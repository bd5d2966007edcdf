// Keyboard and joystick state for the input sampling.
#pragma once

#include <cstdint>

#include "input/input_devices.h"

namespace zq {

// The key-state byte from the two halves the system offers: bit 7 from the
// asynchronous state (is the key down right now), bit 0 from the thread's
// key state (toggle of Num Lock, Caps Lock, ...).
uint8_t ComposeKeyState(int16_t asyncState, int16_t threadState);

class Win32InputDevices : public InputDevices {
 public:
  uint8_t KeyState(int vk) override;
  // joyGetPosEx with the record's dwSize and dwFlags; a joystick that does
  // not answer leaves the record untouched.
  bool PollJoystick(int id, JoyInfoEx& record) override;
};

}  // namespace zq

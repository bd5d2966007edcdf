// What the input sampling needs from the platform.
#pragma once

#include <cstdint>

#include "input/joyinfo.h"

namespace zq {

class InputDevices {
 public:
  virtual ~InputDevices() = default;
  // Key-state byte of virtual key 0..255: bit 7 down, bit 0 toggled
  // (0 up, 1 up+toggled, 128 down, 129 down+toggled).
  virtual uint8_t KeyState(int vk) = 0;
  // Fills the record of joystick `id` (0..15); false when the joystick does
  // not answer, and then the record is left as it was.
  virtual bool PollJoystick(int id, JoyInfoEx& record) = 0;
};

}  // namespace zq

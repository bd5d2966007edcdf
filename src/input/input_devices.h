// What the input sampling needs from the platform.
#pragma once

#include <cstdint>
#include <span>

#include "input/joyinfo.h"
#include "input/stick_match.h"

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
  // The sticks the system has now, each under the id PollJoystick takes,
  // with what tells them apart; returns how many were written. A system
  // that cannot tell devices apart lists none, and pinned sticks stay
  // unconnected there.
  virtual int ListSticks(std::span<PresentStick> out) {
    (void)out;
    return 0;
  }
  // True when a stick came or went since the last call. Asked once per
  // tick, and only while [sticks] pins some id.
  virtual bool SticksChanged() { return false; }
};

}  // namespace zq

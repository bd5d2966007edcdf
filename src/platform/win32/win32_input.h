// Keyboard and joystick state for the input sampling.
#pragma once

#include <array>
#include <cstdint>
#include <span>

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
  // The sticks that answer, with what tells them apart. Asked when
  // SticksChanged() says so, never by a tick without [sticks].
  int ListSticks(std::span<PresentStick> out) override;
  // The driver tells no one of a stick that comes or goes: one id is looked
  // at per tick (all sixteen in 0.8 s), and a pinned stick that stops
  // answering is noticed at its own poll.
  bool SticksChanged() override;

 private:
  std::array<uint32_t, 16> seen_{};  // per id: answered, VID, PID
  int next_ = 0;
  bool first_ = true, lost_ = false;
  uint16_t answering_ = 0;
};

}  // namespace zq

// The devices as the panel reads them at one tick: every key-state byte and
// every joystick record, for the preview to run the core on.
#pragma once

#include <array>
#include <cstdint>

#include "config/binding.h"
#include "input/joyinfo.h"
#include "input/stick_identity.h"

namespace zq::setup::ui {

struct DeviceFrame {
  std::array<uint8_t, 256> keys{};
  std::array<bool, kJoystickCount> plugged{};  // false: polls of that id fail
  std::array<JoyInfoEx, kJoystickCount> sticks{};
  // What tells each plugged stick apart, for settings that pin sticks.
  std::array<StickIdentity, kJoystickCount> identity{};
};

}  // namespace zq::setup::ui

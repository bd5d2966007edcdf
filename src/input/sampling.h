// Per-tick snapshot of the watched keys and used joysticks, and the tests
// that bindings are put to: pressed now (edge), held (level), axis reading.
#pragma once

#include <array>
#include <cstdint>

#include "config/binding.h"
#include "input/input_devices.h"
#include "input/joyinfo.h"

namespace zq {

struct InputSnapshot {
  std::array<uint8_t, 256> keyNow{};
  std::array<uint8_t, 256> keyPrev{};
  std::array<JoyInfoEx, kJoystickCount> joyInfo{};
  std::array<uint32_t, kJoystickCount> joyPrevButtons{};
  // Bit id set: joystick id answered its last poll.
  uint16_t joyAnswered = 0;
};

// Pins from [sticks], the device each id reads and what the system has.
// Without pins every id reads its own system id and nothing here is used.
struct StickRouting {
  StickPins pins{};
  StickMap map = IdentityStickMap();
  std::array<PresentStick, kJoystickCount> present{};
  int presentCount = 0;
  bool matched = false;
  uint32_t changes = 0;  // counts the matchings that changed the map

  std::span<const PresentStick> Present() const {
    return std::span<const PresentStick>(present.data(), static_cast<size_t>(presentCount));
  }
};

// What the tests read besides the snapshot.
struct BindingContext {
  const BindingTable& bindings;
  const InputSnapshot& input;
  bool chatMode;
};

inline bool IsDown(uint8_t keyState) {
  return keyState > 1;
}

void PollKeys(InputSnapshot& input, const KeySet& watchedKeys, InputDevices& devices);
// Matches the pins again when the devices changed (the first time always);
// an id whose device went reads as a stick that never answered.
void FollowSticks(StickRouting& sticks, InputSnapshot& input, InputDevices& devices);
// Polls the system id that `map` gives each used id; none: each its own.
void PollJoysticks(InputSnapshot& input, JoySet joyUsed, InputDevices& devices,
                   const StickMap* map = nullptr);
void StorePrevious(InputSnapshot& input, JoySet joyUsed);

// -1000..1000 for ordinary axis words; words above 65535 wrap in 32 bits.
// A keyboard binding or one outside the tables reads 0.
int32_t ReadAxis(const Binding& b, const InputSnapshot& input);
bool IsPressed(int slot, const BindingContext& ctx);
bool IsHeld(int slot, const BindingContext& ctx);

}  // namespace zq

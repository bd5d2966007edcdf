// Windows virtual-key codes of the keys of a standard keyboard, looked up by
// the Linux input code of the key (the X keycode minus 8). No X header here,
// so the table can be checked on its own.
#pragma once

#include <array>
#include <cstdint>

namespace zq {

// A key stands for its virtual key and, for Shift, Ctrl and Alt, also for
// the side-specific one (160..165): both Shift keys are down as 16, the left
// one also as 160.
struct KeyVks {
  uint8_t vk = 0;
  uint8_t sideVk = 0;
  friend bool operator==(const KeyVks&, const KeyVks&) = default;
};

// The keypad's digit and dot keys give VK_NUMPAD0..9 and VK_DECIMAL while Num
// Lock is on, and the cursor keys they carry (Home, Up, ...) while it is off,
// as on the Windows keyboard driver.
KeyVks VirtualKeysOfInputCode(int inputCode, bool numLock);

constexpr int kXKeycodeOffset = 8;  // X keycode = Linux input code + 8

// Virtual keys of every X keycode, for both Num Lock states.
struct KeycodeTable {
  std::array<KeyVks, 256> numLockOff{};
  std::array<KeyVks, 256> numLockOn{};
  const std::array<KeyVks, 256>& For(bool numLock) const {
    return numLock ? numLockOn : numLockOff;
  }
};

// The table for the standard (US) positions of the keys.
KeycodeTable StandardKeycodeTable();

// Moves letter or digit virtual key `vk` to `keycode`, the key that produces
// it in the active layout (a German keyboard has Y and Z swapped): the key
// that held `vk` in the standard table loses it unless it is `keycode`.
void MoveLayoutKey(KeycodeTable& table, uint8_t vk, int keycode);

// Key-state bytes of virtual keys 0..255 from the X keymap (bit k of byte
// k / 8 is keycode k, set while down) and the lock indicators.
struct LockStates {
  bool numLock = false, capsLock = false, scrollLock = false;
};
void KeyStatesFromKeymap(const std::array<uint8_t, 32>& keymap, const KeycodeTable& table,
                         LockStates locks, std::array<uint8_t, 256>& states);

}  // namespace zq

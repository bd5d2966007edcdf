// The keyboard as the panel reads it: globally from the X server, since the
// simulator, not this panel, has the keyboard focus.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "config/binding.h"
#include "platform/linux/x11_key_table.h"

typedef struct _XDisplay Display;

namespace zq {

class X11Keyboard {
 public:
  X11Keyboard() = default;
  ~X11Keyboard();
  X11Keyboard(const X11Keyboard&) = delete;
  X11Keyboard& operator=(const X11Keyboard&) = delete;

  // Connects to the X server of $DISPLAY; false with `error` set when there
  // is none.
  bool Open(std::string& error);
  // Takes one snapshot of the keymap and the lock indicators, once per tick.
  // Both follow the server's events; the keymap is also asked for outright
  // at the first refresh and once a second while a key is down (and on every
  // tick where the server has no XInput 2.1).
  // `readable`: the connection may hold unread events (a caller that polls
  // Fd() passes what poll said, and an idle tick then reads nothing).
  void Refresh(bool readable = true);
  // The connection, for poll(); -1 when not open.
  int Fd() const;
  // Moves what the server has sent into the event queue, without waiting;
  // true when events wait there for the next Refresh.
  bool ReadEvents();
  // Keys are seen only by asking for the keymap (no XInput 2.1): a key
  // that goes down wakes nobody.
  bool PolledOnly() const { return xiOpcode_ < 0; }
  // Key-state byte of virtual key `vk` in the last snapshot.
  uint8_t KeyState(int vk) const { return states_[static_cast<size_t>(vk & 255)]; }
  // Virtual key of an X keycode (Num Lock as in the last snapshot), 0 if none.
  int VirtualKeyOfKeycode(int keycode) const;
  // Keycodes down in the last snapshot (bit k of byte k / 8).
  const std::array<uint8_t, 32>& Keymap() const { return keymap_; }

 private:
  Display* display_ = nullptr;
  KeycodeTable table_ = StandardKeycodeTable();
  std::array<uint8_t, 32> keymap_{};
  std::array<uint8_t, 256> states_{};
  LockStates locks_{};
  int numLockIndicator_ = -1, capsLockIndicator_ = -1, scrollLockIndicator_ = -1;
  static constexpr int kKeymapQueryTicks = 20;
  int xiOpcode_ = -1;  // XInput's major opcode; -1 without raw key events
  int ticksSinceQuery_ = kKeymapQueryTicks;
  bool queried_ = false;
  int xkbEvent_ = -1;            // event type of the XKB extension
  unsigned int indicators_ = 0;  // lamp bits, kept up to date by XKB events
};

// Characters that key-text bindings name outside the letters, digits and
// punctuation table: on a US keyboard the only further unshifted characters
// are those of the keypad ("*" and "+"; its "-", "." and "/" are already in
// the punctuation table).
class X11KeyCharMap : public KeyCharMap {
 public:
  int32_t VirtualKeyOfChar(unsigned char c) const override;
};

}  // namespace zq

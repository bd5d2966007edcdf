// The player's devices read live, for the tools that show them: zq-probe
// and zq-setup's live view, Bind and preview. The same readings the panel
// takes (key-state bytes, the 52-byte joystick record, the panel's joystick
// ids), plus what only a tool needs: the sticks' names and counts and which
// sticks came or went.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "config/binding.h"
#include "input/input_devices.h"
#include "input/key_names.h"
#include "input/stick_identity.h"

namespace zq {

// One joystick as the platform sees it.
struct LiveStick {
  int id = 0;        // the id the panel gives it, 0..15
  std::string name;  // UTF-8, as the driver names it
  int axes = 0, buttons = 0, povs = 0;
  // How the platform tells this device from others of the same kind, in its
  // own words (SDL's GUID, serial and device path on Linux); empty where it
  // has nothing to tell.
  std::string identity;
  // What a [sticks] pin matches (VID:PID, name, serial, port path, GUID),
  // as far as the platform knows it.
  StickIdentity pin;
  bool bluetooth = false;  // no port path to pin by
};

// A stick that came or went between two refreshes.
struct StickChange {
  int id = 0;
  bool attached = false;
  std::string name;  // empty for a stick that went
};

// The live devices. KeyState and PollJoystick (InputDevices) answer from the
// last Refresh, exactly as the panel's own devices would at that tick.
class LiveDevices : public InputDevices {
 public:
  // What Open could reach: each part may be missing on its own (no X
  // display still leaves the joysticks).
  struct Opened {
    bool keys = false;
    bool sticks = false;
    std::vector<std::string> problems;  // one line each, for the player
  };
  virtual Opened Open() = 0;

  // Takes one reading of every device; once per tick (50 ms). Notes the
  // sticks that came or went since the last refresh.
  void Refresh();
  // The sticks connected at the last refresh, by id.
  virtual std::vector<LiveStick> Sticks() const = 0;
  // The sticks that came or went at the last refresh.
  const std::vector<StickChange>& Changes() const { return changes_; }

  // The virtual keys down at the last refresh (bit 7 of their state).
  KeySet KeysDown();
  // What the platform can add about a key that is down ("X keycode 31"),
  // or "".
  virtual std::string KeyDetail(int vk) const {
    (void)vk;
    return {};
  }
  // Keys down that have no virtual key (so cannot be bound), in the
  // platform's words; "" when there is none.
  virtual std::vector<std::string> UnnamedKeysDown() const { return {}; }

 protected:
  virtual void Read() = 0;

 private:
  std::vector<StickChange> changes_;
  std::vector<LiveStick> last_;
  bool refreshed_ = false;
};

// The chord a key that goes down makes with the modifiers held beside it
// (either Ctrl, Alt or Shift key); a modifier alone is its own chord.
KeyChord ChordHeld(int vk, const KeySet& down);
// Keys a player would not bind and tools do not show: the mouse buttons and
// the left and right twins of Ctrl, Alt and Shift (the generic key is named
// instead).
bool IsShownKey(int vk);

// The build's live devices, not yet opened: the platform's own, or none at
// all where the platform has no devices to read (src/platform/null).
std::unique_ptr<LiveDevices> MakeLiveDevices();

}  // namespace zq

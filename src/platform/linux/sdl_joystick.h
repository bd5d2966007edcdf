// Joysticks through SDL's joystick subsystem, filled into the 52-byte record
// the way the Windows multimedia call fills it.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "config/binding.h"
#include "input/joyinfo.h"
#include "input/stick_match.h"

struct _SDL_Joystick;
typedef struct _SDL_Joystick SDL_Joystick;

namespace zq {

// SDL axis value (-32768..32767) on the record's scale: 0..65535 with the
// centre at 32767.
uint32_t ScaleAxis(int16_t value);
// SDL hat bits (up 1, right 2, down 4, left 8) as the point-of-view value:
// hundredths of degrees clockwise from straight ahead, 65535 when centred.
uint32_t PovOfHat(uint8_t hat);

// What one poll reads from a stick.
struct RawJoystick {
  std::array<int16_t, 6> axes{};
  int axisCount = 0;     // axes beyond the record's six are not read
  uint32_t buttons = 0;  // buttons 1..32 as bits 0..31
  int pressedCount = 0;  // buttons down, as the record's button number
  bool hasHat = false;
  uint8_t hat = 0;
};
// Fills the eleven words of the record; dwSize and dwFlags are the caller's.
void FillRecord(const RawJoystick& raw, JoyInfoEx& record);

// A device as told apart from others: its GUID and, where it has them, its
// serial number and device path.
struct JoystickIdentity {
  std::string guid, serial, path;
};

// The ids 0..15, given in order of discovery and kept for their device for
// the whole run, so that a stick unplugged and plugged back gets its old id.
class JoystickIds {
 public:
  // The id for a device that has just appeared, or -1 when all sixteen are
  // taken. A free id of the same device is preferred: same GUID and serial,
  // or same GUID and path for a device without serial, then same GUID alone
  // for a device without serial (its path can change when it comes back).
  int Assign(const JoystickIdentity& device);
  // The device with that id has gone; the id stays reserved for it.
  void Release(int id);
  bool Connected(int id) const;

 private:
  struct Slot {
    bool used = false, connected = false;
    JoystickIdentity identity;
  };
  std::array<Slot, kJoystickCount> slots_{};
};

// The joystick subsystem: call Update once per tick, before the polls.
class SdlJoysticks {
 public:
  SdlJoysticks() = default;
  ~SdlJoysticks();
  SdlJoysticks(const SdlJoysticks&) = delete;
  SdlJoysticks& operator=(const SdlJoysticks&) = delete;

  // Starts the subsystem with background events allowed (the simulator has
  // the focus, not the panel). False with `error` set on failure.
  bool Start(std::string& error);
  // Reads the devices' new state and notices sticks that came or went.
  void Update();
  // Update() where it can find something: while a stick is open, and for a
  // while after the device folders changed. With no stick and no change
  // there is nothing to read, and SDL's own device watchers are not asked
  // on every tick.
  void UpdateIfNeeded();
  // Readable when a device node comes or goes; -1 when it cannot be watched.
  int HotplugFd() const { return hotplug_; }
  // HotplugFd() was readable: takes what it says.
  void NoteHotplug();
  // Nothing can change the records of the sticks in `used` unless
  // HotplugFd() becomes readable: none of them is open, and no device that
  // came lately waits to be found.
  // The sticks in `used` that are open are watched too: each has a
  // descriptor in EventsFd() (or is a test stick, whose changes come
  // through the test channel), so their records stay as they are until one
  // becomes readable.
  bool Settled(JoySet used) const;
  // Readable when an open stick has new events; -1 when none can be
  // watched. Our own descriptors on the devices: each open file gets its
  // own copy of the events, so reading them takes nothing from SDL.
  int EventsFd() const { return events_; }
  // Reads away what the stick descriptors hold; true when any held
  // something.
  bool DrainEvents();
  // The virtual stick with SDL instance `instance` changes only through a
  // channel the caller waits on.
  void WatchedElsewhere(int32_t instance) { elsewhere_.push_back(instance); }
  // Fills the record of stick `id`; false (record untouched) when no
  // connected stick has that id.
  bool Poll(int id, JoyInfoEx& record) const;
  // The raw state of stick `id`; false when not connected.
  bool Read(int id, RawJoystick& raw) const;

  struct Info {
    int id;
    std::string name;
    int axes, buttons, hats;
    JoystickIdentity identity;
    StickIdentity pin;       // what [sticks] matches: VID:PID, name, serial, port
    bool bluetooth = false;  // no port path to pin by
  };
  std::vector<Info> Connected() const;

  // The open sticks with what tells them apart, for [sticks]; how many.
  int ListSticks(std::span<PresentStick> out) const;
  // True once after a stick came or went.
  bool TakeSticksChanged() {
    const bool changed = sticksChanged_;
    sticksChanged_ = false;
    return changed;
  }
  // What the virtual stick with SDL instance `instance` says of itself: SDL
  // has no serial or port path for a virtual device.
  void SetIdentity(int32_t instance, const StickIdentity& identity) {
    identityOf_.push_back({instance, identity});
  }

 private:
  void CloseAll();
  void Close(int id);
  void WatchDevices();
  void WatchStick(int id, const char* path);
  bool started_ = false;
  int hotplug_ = -1;  // inotify on /dev/input (on /dev until it exists)
  bool watchingInput_ = false;
  int afterHotplug_ = 0;  // updates still to run after a device change
  JoystickIds ids_;
  std::array<SDL_Joystick*, kJoystickCount> open_{};
  std::array<int32_t, kJoystickCount> instance_{};
  std::vector<int32_t> ignored_;  // instances that found no free id
  int events_ = -1;               // epoll set of the stick descriptors
  // Our descriptor per id, -1 for none.
  std::array<int, kJoystickCount> watch_ = [] {
    std::array<int, kJoystickCount> none{};
    none.fill(-1);
    return none;
  }();
  std::array<bool, kJoystickCount> watched_{};  // changes wake the caller
  std::vector<int32_t> elsewhere_;
  std::array<StickIdentity, kJoystickCount> pin_{};
  std::array<bool, kJoystickCount> bluetooth_{};
  std::vector<std::pair<int32_t, StickIdentity>> identityOf_;
  bool sticksChanged_ = true;
};

}  // namespace zq

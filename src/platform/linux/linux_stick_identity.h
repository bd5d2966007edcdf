// What tells one stick from its twins on Linux: VID:PID, name, serial and
// USB port path, from udev where it knows the device node, else from SDL.
// SDL's GUID is left out: it is made of the bus, VID:PID, version and a
// checksum of the name, so twins share it, and the instance GUID that
// guid= means is Windows' own.
#pragma once

#include <string>

#include "input/stick_identity.h"

struct _SDL_Joystick;
typedef struct _SDL_Joystick SDL_Joystick;

namespace zq {

// What udev says of a device node ("/dev/input/event7"); empty fields where
// it says nothing. A Bluetooth device has no port path.
struct UdevStickFacts {
  std::string vendor, model, serial, path, bus;
};
bool ReadUdevStickFacts(const std::string& devnode, UdevStickFacts& facts);

// The identity of an open stick; `bluetooth` tells that it has no port path.
StickIdentity LinuxStickIdentity(SDL_Joystick* stick, bool* bluetooth = nullptr);

}  // namespace zq

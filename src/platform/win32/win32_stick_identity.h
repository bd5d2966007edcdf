// What tells one stick from its twins on Windows: VID:PID from the joystick
// driver's capabilities, the name from the joystick OEM registry keys
// (HKCU, then HKLM), the DirectInput instance GUID through
// IDirectInputJoyConfig8. Every call may fail: what fails is left empty,
// and a stick that tells nothing cannot be pinned.
#pragma once

#include <string>

#include "input/stick_identity.h"

namespace zq {

// The OEM name of joystick `id` whose driver key is `regKey` (JOYCAPS'
// szRegKey); empty when the registry has none.
std::string JoystickOemName(const std::string& regKey, int id);

StickIdentity Win32StickIdentity(int id);

}  // namespace zq

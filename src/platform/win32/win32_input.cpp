#include "platform/win32/win32_input.h"

#include <windows.h>
// windows.h first: mmsystem.h relies on its types.
#include <mmsystem.h>

#include <cstddef>
#include <cstring>

namespace zq {

// The core's record is handed to joyGetPosEx as it stands.
static_assert(sizeof(JOYINFOEX) == sizeof(JoyInfoEx));
static_assert(offsetof(JOYINFOEX, dwSize) == offsetof(JoyInfoEx, dwSize));
static_assert(offsetof(JOYINFOEX, dwFlags) == offsetof(JoyInfoEx, dwFlags));
static_assert(offsetof(JOYINFOEX, dwXpos) == offsetof(JoyInfoEx, dwXpos));
static_assert(offsetof(JOYINFOEX, dwVpos) == offsetof(JoyInfoEx, dwVpos));
static_assert(offsetof(JOYINFOEX, dwButtons) == offsetof(JoyInfoEx, dwButtons));
static_assert(offsetof(JOYINFOEX, dwPOV) == offsetof(JoyInfoEx, dwPOV));
static_assert(offsetof(JOYINFOEX, dwReserved2) == offsetof(JoyInfoEx, dwReserved2));
static_assert(JOY_RETURNALL == kJoyReturnAll);

uint8_t ComposeKeyState(int16_t asyncState, int16_t threadState) {
  unsigned down = (static_cast<uint16_t>(asyncState) & 0x8000u) != 0 ? 0x80u : 0u;
  unsigned toggled = (static_cast<uint16_t>(threadState) & 1u) != 0 ? 0x01u : 0u;
  return static_cast<uint8_t>(down | toggled);
}

uint8_t Win32InputDevices::KeyState(int vk) {
  // Down bit from the async state: the simulator, not this panel, has the
  // keyboard focus, and GetKeyState follows only this thread's own input.
  return ComposeKeyState(GetAsyncKeyState(vk), GetKeyState(vk));
}

bool Win32InputDevices::PollJoystick(int id, JoyInfoEx& record) {
  // Polled into a copy: what a failing call may leave in its record must not
  // reach the snapshot.
  JOYINFOEX info;
  std::memcpy(&info, &record, sizeof info);
  if (joyGetPosEx(static_cast<UINT>(id), &info) != JOYERR_NOERROR) return false;
  std::memcpy(static_cast<void*>(&record), &info, sizeof info);
  return true;
}

}  // namespace zq

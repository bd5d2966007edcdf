#include "platform/win32/win32_input.h"

#include <windows.h>
// windows.h first: mmsystem.h relies on its types.
#include <mmsystem.h>

#include <cstddef>
#include <cstring>

#include "platform/win32/win32_stick_identity.h"

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
  const uint16_t bit = static_cast<uint16_t>(1u << (id & 15));
  if (joyGetPosEx(static_cast<UINT>(id), &info) != JOYERR_NOERROR) {
    if ((answering_ & bit) != 0) lost_ = true;  // a stick went: look again
    answering_ = static_cast<uint16_t>(answering_ & ~bit);
    return false;
  }
  answering_ = static_cast<uint16_t>(answering_ | bit);
  std::memcpy(static_cast<void*>(&record), &info, sizeof info);
  return true;
}

namespace {

bool Answers(int id) {
  JOYINFOEX info{};
  info.dwSize = sizeof info;
  info.dwFlags = JOY_RETURNALL;
  return joyGetPosEx(static_cast<UINT>(id), &info) == JOYERR_NOERROR;
}

// What changes when another stick takes the id: answering, VID, PID.
uint32_t Signature(int id) {
  if (!Answers(id)) return 0;
  JOYCAPSA caps{};
  if (joyGetDevCapsA(static_cast<UINT>(id), &caps, sizeof caps) != JOYERR_NOERROR) return 1;
  return 1u | (uint32_t{caps.wMid} << 16 ^ caps.wPid) << 1;
}

}  // namespace

int Win32InputDevices::ListSticks(std::span<PresentStick> out) {
  size_t n = 0;
  for (int id = 0; id < 16 && n < out.size(); ++id) {
    seen_[static_cast<size_t>(id)] = Signature(id);
    if (seen_[static_cast<size_t>(id)] == 0) continue;
    out[n++] = {id, Win32StickIdentity(id)};
  }
  return static_cast<int>(n);
}

bool Win32InputDevices::SticksChanged() {
  if (first_ || lost_) {
    first_ = lost_ = false;
    return true;
  }
  const int id = next_;
  next_ = (next_ + 1) % 16;
  return Signature(id) != seen_[static_cast<size_t>(id)];
}

}  // namespace zq

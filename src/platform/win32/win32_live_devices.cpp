// The live devices on Windows: the panel's own calls, joyGetPosEx for the
// sixteen joystick ids and GetAsyncKeyState for the keys, with the names and
// counts joyGetDevCapsW gives.
#include <windows.h>
// after windows.h, which it needs
#include <mmsystem.h>

#include <array>

#include "platform/live_devices.h"
#include "platform/win32/win32_input.h"
#include "platform/win32/win32_stick_identity.h"

namespace zq {
namespace {

std::string Utf8(const wchar_t* text) {
  char out[256] = {};
  WideCharToMultiByte(CP_UTF8, 0, text, -1, out, sizeof out - 1, nullptr, nullptr);
  return out;
}

class Win32LiveDevices : public LiveDevices {
 public:
  Opened Open() override { return {true, true, {}}; }
  std::vector<LiveStick> Sticks() const override {
    std::vector<LiveStick> sticks;
    for (int id = 0; id < kJoystickCount; ++id) {
      if (answers_[static_cast<size_t>(id)]) sticks.push_back(info_[static_cast<size_t>(id)]);
    }
    return sticks;
  }
  uint8_t KeyState(int vk) override { return keys_[static_cast<size_t>(vk & 255)]; }
  bool PollJoystick(int id, JoyInfoEx& record) override {
    if (id < 0 || id >= kJoystickCount || !answers_[static_cast<size_t>(id)]) return false;
    for (int w = 0; w < JoyInfoEx::kWords; ++w) {
      record.SetWord(w, records_[static_cast<size_t>(id)].Word(w));
    }
    return true;
  }

 protected:
  void Read() override {
    for (int vk = 0; vk < 256; ++vk) keys_[static_cast<size_t>(vk)] = devices_.KeyState(vk);
    for (int id = 0; id < kJoystickCount; ++id) {
      size_t i = static_cast<size_t>(id);
      JoyInfoEx record{};
      record.dwSize = sizeof record;
      record.dwFlags = kJoyReturnAll;
      bool answers = devices_.PollJoystick(id, record);
      if (answers && !answers_[i]) info_[i] = Describe(id);
      answers_[i] = answers;
      if (answers) records_[i] = record;
    }
  }

 private:
  static LiveStick Describe(int id) {
    LiveStick stick;
    stick.id = id;
    JOYCAPSW caps{};
    if (joyGetDevCapsW(static_cast<UINT>(id), &caps, sizeof caps) == JOYERR_NOERROR) {
      stick.name = Utf8(caps.szPname);
      stick.axes = static_cast<int>(caps.wNumAxes);
      stick.buttons = static_cast<int>(caps.wNumButtons);
      stick.povs = (caps.wCaps & JOYCAPS_HASPOV) != 0 ? 1 : 0;
    }
    if (stick.name.empty()) stick.name = "joystick";
    stick.pin = Win32StickIdentity(id);
    return stick;
  }

  Win32InputDevices devices_;
  std::array<uint8_t, 256> keys_{};
  std::array<bool, kJoystickCount> answers_{};
  std::array<JoyInfoEx, kJoystickCount> records_{};
  std::array<LiveStick, kJoystickCount> info_{};
};

}  // namespace

std::unique_ptr<LiveDevices> MakeLiveDevices() {
  return std::make_unique<Win32LiveDevices>();
}

}  // namespace zq

// Live input on Windows through the panel's own calls: joyGetPosEx for the
// sixteen joystick ids, GetAsyncKeyState for the keys, and axis readings
// through the panel's conversion to -1000..1000.
#include <windows.h>
// after windows.h
#include <mmsystem.h>

#include <nlohmann/json.hpp>

#include "input/sampling.h"
#include "platform/win32/win32_input.h"
#include "zq_setup/ui/ui_server.h"

namespace zq::setup::ui {

namespace {

std::string Utf8(const wchar_t* text) {
  char out[256] = {};
  WideCharToMultiByte(CP_UTF8, 0, text, -1, out, sizeof out - 1, nullptr, nullptr);
  return out;
}

class Win32LiveSource : public LiveSource {
 public:
  std::string Snapshot() override {
    nlohmann::json sticks = nlohmann::json::array();
    frame_ = DeviceFrame{};
    for (int id = 0; id < kJoystickCount; ++id) {
      JoyInfoEx record{};
      record.dwSize = sizeof record;
      record.dwFlags = kJoyReturnAll;
      if (!devices_.PollJoystick(id, record)) continue;
      frame_.plugged[static_cast<size_t>(id)] = true;
      frame_.sticks[static_cast<size_t>(id)] = record;
      InputSnapshot input{};
      input.joyInfo[static_cast<size_t>(id)] = record;
      nlohmann::json axes = nlohmann::json::array();
      for (int word = 0; word < 6; ++word) axes.push_back(ReadAxis(Binding{id, word}, input));
      nlohmann::json buttons = nlohmann::json::array();
      for (int b = 1; b <= 32; ++b) {
        if ((record.dwButtons >> (b - 1)) & 1u) buttons.push_back(b);
      }
      JOYCAPSW caps{};
      std::string name = joyGetDevCapsW(static_cast<UINT>(id), &caps, sizeof caps) == JOYERR_NOERROR
                             ? Utf8(caps.szPname)
                             : "joystick";
      sticks.push_back({{"id", id},
                        {"name", name},
                        {"axes", axes},
                        {"buttons", buttons},
                        {"pov", record.dwPOV}});
    }
    nlohmann::json keys = nlohmann::json::array();
    for (int vk = 1; vk < 256; ++vk) {
      frame_.keys[static_cast<size_t>(vk)] = devices_.KeyState(vk);
      if (IsDown(frame_.keys[static_cast<size_t>(vk)])) keys.push_back(vk);
    }
    return nlohmann::json{{"joysticks", sticks}, {"keys", keys}}.dump(
        -1, ' ', false, nlohmann::json::error_handler_t::replace);
  }
  void LastFrame(DeviceFrame& frame) const override { frame = frame_; }

 private:
  Win32InputDevices devices_;
  DeviceFrame frame_{};
};

}  // namespace

std::unique_ptr<LiveSource> MakePlatformLiveSource() {
  return std::make_unique<Win32LiveSource>();
}

}  // namespace zq::setup::ui

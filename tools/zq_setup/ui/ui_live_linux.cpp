// Live input on Linux through the panel's own device code: SDL joysticks
// with the ids the panel gives them, the X keyboard as virtual keys, and
// axis readings through the panel's conversion to -1000..1000.
#include <nlohmann/json.hpp>

#include "input/sampling.h"
#include "platform/linux/sdl_joystick.h"
#include "platform/linux/x11_keyboard.h"
#include "zq_setup/ui/ui_server.h"

namespace zq::setup::ui {

namespace {

class LinuxLiveSource : public LiveSource {
 public:
  LinuxLiveSource() {
    std::string error;
    haveKeys_ = keyboard_.Open(error);  // no X display: no keys, joysticks still
    haveSticks_ = joysticks_.Start(error);
  }

  std::string Snapshot() override {
    nlohmann::json sticks = nlohmann::json::array();
    frame_ = DeviceFrame{};
    if (haveSticks_) {
      joysticks_.Update();
      for (const SdlJoysticks::Info& info : joysticks_.Connected()) {
        JoyInfoEx record{};
        if (!joysticks_.Poll(info.id, record)) continue;
        if (info.id >= 0 && info.id < kJoystickCount) {
          frame_.plugged[static_cast<size_t>(info.id)] = true;
          frame_.sticks[static_cast<size_t>(info.id)] = record;
        }
        InputSnapshot input{};
        input.joyInfo[static_cast<size_t>(info.id)] = record;
        nlohmann::json axes = nlohmann::json::array();
        for (int word = 0; word < 6; ++word)
          axes.push_back(ReadAxis(Binding{info.id, word}, input));
        nlohmann::json buttons = nlohmann::json::array();
        for (int b = 1; b <= 32; ++b) {
          if ((record.dwButtons >> (b - 1)) & 1u) buttons.push_back(b);
        }
        sticks.push_back({{"id", info.id},
                          {"name", info.name},
                          {"axes", axes},
                          {"buttons", buttons},
                          {"pov", record.dwPOV}});
      }
    }
    nlohmann::json keys = nlohmann::json::array();
    if (haveKeys_) {
      keyboard_.Refresh();
      for (int vk = 1; vk < 256; ++vk) {
        frame_.keys[static_cast<size_t>(vk)] = keyboard_.KeyState(vk);
        if (IsDown(frame_.keys[static_cast<size_t>(vk)])) keys.push_back(vk);
      }
    }
    return nlohmann::json{{"joysticks", sticks}, {"keys", keys}}.dump(
        -1, ' ', false, nlohmann::json::error_handler_t::replace);
  }
  void LastFrame(DeviceFrame& frame) const override { frame = frame_; }

 private:
  X11Keyboard keyboard_;
  SdlJoysticks joysticks_;
  bool haveKeys_ = false;
  bool haveSticks_ = false;
  DeviceFrame frame_{};
};

}  // namespace

std::unique_ptr<LiveSource> MakePlatformLiveSource() {
  return std::make_unique<LinuxLiveSource>();
}

}  // namespace zq::setup::ui

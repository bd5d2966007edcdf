// The live view of the page: joysticks with the panel's axis readings
// (-1000..1000), buttons and hat, and the keys down.
#include <nlohmann/json.hpp>

#include "input/sampling.h"
#include "zq_setup/ui/ui_server.h"

namespace zq::setup::ui {

std::string LiveSource::Snapshot() {
  if (!devices_ && open_) {
    devices_ = open_();
    if (devices_) devices_->Open();  // what cannot be opened reads as nothing
  }
  frame_ = DeviceFrame{};
  sticks_.clear();
  nlohmann::json sticks = nlohmann::json::array();
  nlohmann::json keys = nlohmann::json::array();
  if (devices_) {
    devices_->Refresh();
    sticks_ = devices_->Sticks();
    for (const LiveStick& stick : sticks_) {
      if (stick.id < 0 || stick.id >= kJoystickCount) continue;
      size_t i = static_cast<size_t>(stick.id);
      JoyInfoEx record{};
      record.dwSize = sizeof record;
      record.dwFlags = kJoyReturnAll;
      if (!devices_->PollJoystick(stick.id, record)) continue;
      frame_.plugged[i] = true;
      frame_.sticks[i] = record;
      frame_.identity[i] = stick.pin;
      InputSnapshot input{};
      input.joyInfo[i] = record;
      nlohmann::json axes = nlohmann::json::array();
      for (int word = 0; word < 6; ++word) axes.push_back(ReadAxis(Binding{stick.id, word}, input));
      nlohmann::json buttons = nlohmann::json::array();
      for (int b = 1; b <= 32; ++b) {
        if ((record.dwButtons >> (b - 1)) & 1u) buttons.push_back(b);
      }
      sticks.push_back({{"id", stick.id},
                        {"name", stick.name},
                        {"axes", axes},
                        {"buttons", buttons},
                        {"pov", record.dwPOV}});
    }
    for (int vk = 1; vk < 256; ++vk) {
      frame_.keys[static_cast<size_t>(vk)] = devices_->KeyState(vk);
      if (IsDown(frame_.keys[static_cast<size_t>(vk)])) keys.push_back(vk);
    }
  }
  return nlohmann::json{{"joysticks", sticks}, {"keys", keys}}.dump(
      -1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace zq::setup::ui

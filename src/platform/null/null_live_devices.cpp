// No devices at all: nothing to open, no key down, no joystick.
#include "platform/live_devices.h"
#include "platform/panel_picture.h"

namespace zq {
namespace {

class NullLiveDevices : public LiveDevices {
 public:
  Opened Open() override {
    return {false, false, {"this build reads no keyboard and no joystick"}};
  }
  std::vector<LiveStick> Sticks() const override { return {}; }
  uint8_t KeyState(int) override { return 0; }
  bool PollJoystick(int, JoyInfoEx&) override { return false; }

 protected:
  void Read() override {}
};

}  // namespace

std::unique_ptr<LiveDevices> MakeLiveDevices() {
  return std::make_unique<NullLiveDevices>();
}

std::unique_ptr<PanelPicture> MakePanelPicture(std::string& error) {
  error = "this build draws no panel";
  return nullptr;
}

}  // namespace zq

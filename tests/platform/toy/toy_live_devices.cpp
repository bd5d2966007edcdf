// One joystick, id 3, its X axis pushed all the way, its hat centred; no
// keyboard.
#include "platform/live_devices.h"
#include "platform/panel_picture.h"

namespace zq {
namespace {

class ToyLiveDevices : public LiveDevices {
 public:
  Opened Open() override { return {false, true, {"the toy platform has no keyboard"}}; }
  std::vector<LiveStick> Sticks() const override {
    return {{3, "toy stick", 2, 4, 0, "toy identity"}};
  }
  uint8_t KeyState(int) override { return 0; }
  bool PollJoystick(int id, JoyInfoEx& record) override {
    if (id != 3) return false;
    record.dwXpos = 65535;
    record.dwYpos = 32767;
    record.dwPOV = 65535;  // the hat centred
    return true;
  }

 protected:
  void Read() override {}
};

}  // namespace

std::unique_ptr<LiveDevices> MakeLiveDevices() {
  return std::make_unique<ToyLiveDevices>();
}

// The toy draws no panel: the page draws the labels itself and says why.
std::unique_ptr<PanelPicture> MakePanelPicture(std::string& error) {
  error = "the toy platform draws no panel";
  return nullptr;
}

}  // namespace zq

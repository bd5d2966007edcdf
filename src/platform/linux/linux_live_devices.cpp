// The live devices on Linux: the panel's own X keyboard and SDL joysticks,
// with the ids the panel gives them.
#include <SDL.h>

#include "platform/linux/sdl_joystick.h"
#include "platform/linux/x11_keyboard.h"
#include "platform/live_devices.h"

namespace zq {
namespace {

bool IsDown(const std::array<uint8_t, 32>& keymap, int keycode) {
  return ((keymap[static_cast<size_t>(keycode / 8)] >> (keycode % 8)) & 1) != 0;
}

std::string IdentityText(const JoystickIdentity& id) {
  std::string text = "guid " + id.guid;
  if (!id.serial.empty()) text += ", serial " + id.serial;
  if (!id.path.empty()) text += ", path " + id.path;
  return text;
}

class LinuxLiveDevices : public LiveDevices {
 public:
  Opened Open() override {
    Opened opened;
    std::string error;
    opened.keys = haveKeys_ = keyboard_.Open(error);
    if (!haveKeys_) opened.problems.push_back(error + "; keys are not shown");
    // The tool handles Ctrl+C itself.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    opened.sticks = haveSticks_ = joysticks_.Start(error);
    if (!haveSticks_) opened.problems.push_back(error + "; joysticks are not shown");
    return opened;
  }
  std::vector<LiveStick> Sticks() const override {
    std::vector<LiveStick> sticks;
    if (!haveSticks_) return sticks;
    for (const SdlJoysticks::Info& j : joysticks_.Connected()) {
      sticks.push_back(
          {j.id, j.name, j.axes, j.buttons, j.hats, IdentityText(j.identity), j.pin, j.bluetooth});
    }
    return sticks;
  }
  uint8_t KeyState(int vk) override { return haveKeys_ ? keyboard_.KeyState(vk) : 0; }
  bool PollJoystick(int id, JoyInfoEx& record) override {
    return haveSticks_ && joysticks_.Poll(id, record);
  }
  std::string KeyDetail(int vk) const override {
    for (int keycode = 8; haveKeys_ && keycode < 256; ++keycode) {
      if (IsDown(keyboard_.Keymap(), keycode) && keyboard_.VirtualKeyOfKeycode(keycode) == vk) {
        return "X keycode " + std::to_string(keycode);
      }
    }
    return {};
  }
  std::vector<std::string> UnnamedKeysDown() const override {
    std::vector<std::string> keys;
    for (int keycode = 8; haveKeys_ && keycode < 256; ++keycode) {
      if (IsDown(keyboard_.Keymap(), keycode) && keyboard_.VirtualKeyOfKeycode(keycode) == 0) {
        keys.push_back("X keycode " + std::to_string(keycode));
      }
    }
    return keys;
  }

 protected:
  void Read() override {
    if (haveKeys_) keyboard_.Refresh();
    if (haveSticks_) joysticks_.Update();
  }

 private:
  X11Keyboard keyboard_;
  SdlJoysticks joysticks_;
  bool haveKeys_ = false;
  bool haveSticks_ = false;
};

}  // namespace

std::unique_ptr<LiveDevices> MakeLiveDevices() {
  return std::make_unique<LinuxLiveDevices>();
}

}  // namespace zq

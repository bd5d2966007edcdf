// The panel's input devices: X keyboard and SDL joysticks, each refreshed
// once per tick by the shell before the tick samples them.
#pragma once

#include "input/input_devices.h"
#include "platform/linux/sdl_joystick.h"
#include "platform/linux/x11_keyboard.h"

namespace zq {

class LinuxInputDevices : public InputDevices {
 public:
  LinuxInputDevices(X11Keyboard& keyboard, SdlJoysticks& joysticks)
      : keyboard_(keyboard), joysticks_(joysticks) {}
  // The keyboard's connection is read by the loop when poll() finds it
  // readable; the refresh takes what waits in its queue.
  void Refresh() {
    keyboard_.Refresh(false);
    joysticks_.UpdateIfNeeded();
  }
  uint8_t KeyState(int vk) override { return keyboard_.KeyState(vk); }
  bool PollJoystick(int id, JoyInfoEx& record) override { return joysticks_.Poll(id, record); }
  int ListSticks(std::span<PresentStick> out) override { return joysticks_.ListSticks(out); }
  bool SticksChanged() override { return joysticks_.TakeSticksChanged(); }

 private:
  X11Keyboard& keyboard_;
  SdlJoysticks& joysticks_;
};

}  // namespace zq

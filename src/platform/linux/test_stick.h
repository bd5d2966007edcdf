// A virtual stick for tests, moved from outside the panel: with
// ZQ_TEST_STICK=PATH in the environment (a named pipe the test made), each
// line written to PATH sets the stick's state, seen at the next tick like a
// device's own change. Off unless asked for.
#pragma once

#include <array>
#include <string>

struct _SDL_Joystick;
typedef struct _SDL_Joystick SDL_Joystick;

namespace zq {

class SdlJoysticks;

class TestStick {
 public:
  TestStick() = default;
  ~TestStick();
  TestStick(const TestStick&) = delete;
  TestStick& operator=(const TestStick&) = delete;

  // Plugs the stick in when the environment asks for it. False with `error`
  // set when it was asked for and cannot be made.
  bool Start(SdlJoysticks& joysticks, std::string& error);
  // Readable when a line came; -1 without a test stick.
  int Fd() const { return fd_; }
  // Applies the lines that came: "a INDEX VALUE" (axis 0..5, -32768..32767),
  // "b INDEX 0|1" (button 0..31), "h BITS" (the hat as SDL's bits), each
  // for stick 0, the one there from the start, or for stick K (0..7) after
  // "@K ". Twins and replugs: "plug K VID:PID "NAME" [serial=S] [path=P]"
  // plugs stick K in with that identity, "unplug K" pulls it out.
  void ReadCommands();

  static constexpr int kSticks = 8;

 private:
  void Apply(const std::string& line);
  void Plug(int k, const std::string& identity);
  void Unplug(int k);
  int fd_ = -1;
  SdlJoysticks* joysticks_ = nullptr;
  std::array<SDL_Joystick*, kSticks> sticks_{};
  std::string partial_;
};

}  // namespace zq

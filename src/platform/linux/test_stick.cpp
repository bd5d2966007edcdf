#include "platform/linux/test_stick.h"

#include <SDL.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "platform/linux/sdl_joystick.h"
#include "platform/linux/virtual_stick.h"

namespace zq {

TestStick::~TestStick() {
  if (fd_ >= 0) ::close(fd_);
  if (stick_ != nullptr) SDL_JoystickClose(stick_);
}

bool TestStick::Start(SdlJoysticks& joysticks, std::string& error) {
  const char* path = std::getenv("ZQ_TEST_STICK");
  if (path == nullptr || *path == '\0') return true;
  // Read and write: the pipe never reads as ended between the test's writers.
  fd_ = ::open(path, O_RDWR | O_NONBLOCK | O_CLOEXEC);
  if (fd_ < 0) {
    error = std::string("ZQ_TEST_STICK: cannot open \"") + path + "\": " + std::strerror(errno);
    return false;
  }
  stick_ = OpenVirtualStick("zq test stick");
  if (stick_ == nullptr) {
    error = std::string("ZQ_TEST_STICK: cannot attach a virtual stick: ") + SDL_GetError();
    ::close(fd_);
    fd_ = -1;
    return false;
  }
  joysticks.WatchedElsewhere(SDL_JoystickInstanceID(stick_));
  joysticks.Update();
  return true;
}

void TestStick::ReadCommands() {
  char buffer[512];
  ssize_t n;
  while ((n = ::read(fd_, buffer, sizeof buffer)) > 0) partial_.append(buffer, size_t(n));
  for (size_t end; (end = partial_.find('\n')) != std::string::npos;) {
    Apply(partial_.substr(0, end));
    partial_.erase(0, end + 1);
  }
}

void TestStick::Apply(const std::string& line) {
  std::istringstream in(line);
  char what = 0;
  int index = 0, value = 0;
  in >> what >> index;
  if (what == 'h') {
    SDL_JoystickSetVirtualHat(stick_, 0, static_cast<Uint8>(index));
    return;
  }
  in >> value;
  if (!in) return;
  if (what == 'a') SDL_JoystickSetVirtualAxis(stick_, index, static_cast<Sint16>(value));
  if (what == 'b') SDL_JoystickSetVirtualButton(stick_, index, value != 0 ? 1 : 0);
}

}  // namespace zq

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
  for (SDL_Joystick* stick : sticks_) {
    if (stick != nullptr) SDL_JoystickClose(stick);
  }
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
  sticks_[0] = OpenVirtualStick("zq test stick");
  if (sticks_[0] == nullptr) {
    error = std::string("ZQ_TEST_STICK: cannot attach a virtual stick: ") + SDL_GetError();
    ::close(fd_);
    fd_ = -1;
    return false;
  }
  joysticks_ = &joysticks;
  joysticks.WatchedElsewhere(SDL_JoystickInstanceID(sticks_[0]));
  joysticks.Update();
  return true;
}

void TestStick::Plug(int k, const std::string& identity) {
  StickIdentity id;
  if (sticks_[static_cast<size_t>(k)] != nullptr || ParseStickPin(identity, id)) return;
  const std::string name(id.name.View());
  SDL_Joystick* stick = OpenVirtualStick(name.c_str(), nullptr, id.vendor, id.product);
  if (stick == nullptr) return;
  sticks_[static_cast<size_t>(k)] = stick;
  joysticks_->WatchedElsewhere(SDL_JoystickInstanceID(stick));
  joysticks_->SetIdentity(SDL_JoystickInstanceID(stick), id);
  joysticks_->Update();
}

void TestStick::Unplug(int k) {
  SDL_Joystick*& stick = sticks_[static_cast<size_t>(k)];
  if (stick == nullptr) return;
  const SDL_JoystickID instance = SDL_JoystickInstanceID(stick);
  SDL_JoystickClose(stick);
  stick = nullptr;
  for (int index = 0; index < SDL_NumJoysticks(); ++index) {
    if (SDL_JoystickGetDeviceInstanceID(index) == instance) {
      SDL_JoystickDetachVirtual(index);
      break;
    }
  }
  joysticks_->Update();
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
  std::string word;
  in >> word;
  int k = 0;
  if (word == "plug" || word == "unplug") {
    in >> k;
    if (!in || k < 0 || k >= kSticks) return;
    if (word == "unplug") {
      Unplug(k);
    } else {
      std::string identity;
      std::getline(in, identity);
      Plug(k, identity);
    }
    return;
  }
  if (word.size() > 1 && word[0] == '@') {
    k = std::atoi(word.c_str() + 1);
    if (k < 0 || k >= kSticks) return;
    in >> word;
  }
  SDL_Joystick* stick = sticks_[static_cast<size_t>(k)];
  if (stick == nullptr || word.size() != 1) return;
  const char what = word[0];
  int index = 0, value = 0;
  in >> index;
  if (what == 'h') {
    SDL_JoystickSetVirtualHat(stick, 0, static_cast<Uint8>(index));
    return;
  }
  in >> value;
  if (!in) return;
  if (what == 'a') SDL_JoystickSetVirtualAxis(stick, index, static_cast<Sint16>(value));
  if (what == 'b') SDL_JoystickSetVirtualButton(stick, index, value != 0 ? 1 : 0);
}

}  // namespace zq

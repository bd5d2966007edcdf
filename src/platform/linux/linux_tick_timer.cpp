#include "platform/linux/linux_tick_timer.h"

#include <signal.h>
#include <sys/signalfd.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace zq {

TickTimer::~TickTimer() {
  if (fd_ >= 0) ::close(fd_);
}

bool TickTimer::Start(int milliseconds, std::string& error) {
  fd_ = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
  if (fd_ < 0) {
    error = std::string("cannot create the tick timer: ") + std::strerror(errno);
    return false;
  }
  itimerspec spec{};
  spec.it_interval.tv_sec = milliseconds / 1000;
  spec.it_interval.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
  spec.it_value = spec.it_interval;
  if (::timerfd_settime(fd_, 0, &spec, nullptr) != 0) {
    error = std::string("cannot start the tick timer: ") + std::strerror(errno);
    return false;
  }
  return true;
}

uint64_t TickTimer::Consume() {
  uint64_t expiries = 0;
  if (::read(fd_, &expiries, sizeof expiries) != static_cast<ssize_t>(sizeof expiries)) return 0;
  return expiries;
}

TerminationSignals::~TerminationSignals() {
  if (fd_ >= 0) ::close(fd_);
}

bool TerminationSignals::Start(std::string& error) {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGHUP);
  if (::sigprocmask(SIG_BLOCK, &set, nullptr) != 0) {
    error = std::string("cannot block the termination signals: ") + std::strerror(errno);
    return false;
  }
  fd_ = ::signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
  if (fd_ < 0) {
    error = std::string("cannot receive the termination signals: ") + std::strerror(errno);
    return false;
  }
  return true;
}

bool TerminationSignals::Consume() {
  signalfd_siginfo info;
  bool any = false;
  while (::read(fd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) any = true;
  return any;
}

}  // namespace zq

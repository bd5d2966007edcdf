#include "platform/linux/linux_tick_timer.h"

#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "app/tick_schedule.h"
#include "platform/platform.h"

namespace zq {

LinuxTickTimer::~LinuxTickTimer() {
  if (fd_ >= 0) ::close(fd_);
}

bool LinuxTickTimer::Start(int milliseconds, std::string& error) {
  fd_ = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
  if (fd_ < 0) {
    error = std::string("cannot create the tick timer: ") + std::strerror(errno);
    return false;
  }
  interval_ = static_cast<int64_t>(milliseconds) * 1000;
  if (!Arm(MonotonicMicroseconds() + interval_)) {
    error = std::string("cannot start the tick timer: ") + std::strerror(errno);
    return false;
  }
  return true;
}

bool LinuxTickTimer::Arm(int64_t firstDue) {
  // Absolute times: the kernel keeps every later expiry on the same grid.
  itimerspec due{};
  due.it_interval.tv_sec = static_cast<time_t>(interval_ / 1000000);
  due.it_interval.tv_nsec = static_cast<long>(interval_ % 1000000) * 1000L;
  due.it_value.tv_sec = static_cast<time_t>(firstDue / 1000000);
  due.it_value.tv_nsec = static_cast<long>(firstDue % 1000000) * 1000L;
  if (::timerfd_settime(fd_, TFD_TIMER_ABSTIME, &due, nullptr) != 0) return false;
  nextDue_ = firstDue;
  return true;
}

uint64_t LinuxTickTimer::Consume() {
  uint64_t expiries = 0;
  if (::read(fd_, &expiries, sizeof expiries) != static_cast<ssize_t>(sizeof expiries)) return 0;
  if (expiries == 0) return 0;
  started_ = MonotonicMicroseconds();
  index_ += static_cast<int64_t>(expiries);
  // The tick that starts now stands for the last expiry that passed; the
  // ones before it are dropped.
  const int64_t due = nextDue_ + static_cast<int64_t>(expiries - 1) * interval_;
  const int64_t next = NextTickDue(due, started_, interval_);
  // Setting the timer again also clears any expiry counted meanwhile; should
  // that fail, the old grid goes on.
  if (next == due + interval_ || !Arm(next)) nextDue_ = due + interval_;
  return expiries;
}

bool LinuxTickTimer::Pause() {
  itimerspec stop{};
  if (::timerfd_settime(fd_, 0, &stop, nullptr) != 0) return false;
  paused_ = true;
  return true;
}

bool LinuxTickTimer::Resume() {
  if (!paused_) return true;
  // The places that passed meanwhile count as ticks left out.
  const int64_t now = MonotonicMicroseconds();
  int64_t next = nextDue_;
  if (now >= next) {
    const int64_t passed = (now - next) / interval_ + 1;
    next += passed * interval_;
    index_ += passed;
  }
  if (!Arm(next)) return false;
  paused_ = false;
  return true;
}

bool TickSkipAllowed() {
  const char* value = std::getenv("ZQ_TICK_SKIP");
  return value == nullptr || std::strcmp(value, "0") != 0;
}

int64_t MonotonicMicroseconds() {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

bool TickTraceRequested() {
  const char* value = std::getenv("ZQ_TICK_TRACE");
  return value != nullptr && std::strcmp(value, "1") == 0;
}

void TraceTick(int64_t startedMicroseconds, int64_t index) {
  // stderr is unbuffered: one write per line.
  std::fprintf(stderr, "tick %lld %lld\n", static_cast<long long>(startedMicroseconds),
               static_cast<long long>(index));
}

void TraceSend(bool ok) {
  std::fputs(ok ? "sent ok\n" : "sent failed\n", stderr);
}

}  // namespace zq

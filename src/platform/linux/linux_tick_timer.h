// The 50 ms tick source, as a file descriptor for one poll() in the UI thread.
#pragma once

#include <cstdint>
#include <string>

#include "control/tick_length.h"

namespace zq {

constexpr int kTickMilliseconds = kTickMs;

// A periodic timer on the monotonic clock, on a fixed grid of absolute
// times, so the cadence does not drift. Expiries that passed while a tick ran
// are counted by the kernel; Consume() reads them all and answers whether any
// fell due, so the loop runs one tick for them, not one per expiry. A tick
// that starts late moves the grid (NextTickDue): the next one is not bunched
// up behind it.
class LinuxTickTimer {
 public:
  LinuxTickTimer() = default;
  ~LinuxTickTimer();
  LinuxTickTimer(const LinuxTickTimer&) = delete;
  LinuxTickTimer& operator=(const LinuxTickTimer&) = delete;

  // The first expiry one interval from now.
  bool Start(int milliseconds, std::string& error);
  int Fd() const { return fd_; }
  // Expiries since the last call (0 when none); the caller runs one tick at
  // once if this is not 0.
  uint64_t Consume();
  // When the tick of the last Consume() that found expiries started:
  // microseconds of the monotonic clock.
  int64_t TickStarted() const { return started_; }
  // Grid places since Start() up to the tick of the last Consume(), ticks
  // left out included (1 for the first tick).
  int64_t TickIndex() const { return index_; }

  // Ticks that would change nothing are left out: the timer stops until
  // Resume(). False when it could not be stopped (it then goes on).
  bool Pause();
  // Starts again on the same grid: the first expiry is the first grid place
  // after now, so input that woke the loop is seen there, never earlier.
  bool Resume();
  bool Paused() const { return paused_; }

 private:
  bool Arm(int64_t firstDue);

  int fd_ = -1;
  int64_t interval_ = 0;  // microseconds
  int64_t nextDue_ = 0;   // the first expiry not consumed yet
  int64_t started_ = 0;
  int64_t index_ = 0;
  bool paused_ = false;
};

// ZQ_TICK_SKIP=0 in the environment: every tick runs, also those that
// would change nothing (for tests and diagnosis).
bool TickSkipAllowed();

// Microseconds of the monotonic clock (CLOCK_MONOTONIC, the timer's clock).
int64_t MonotonicMicroseconds();

// ZQ_TICK_TRACE=1 in the environment: the panel writes one line per tick to
// standard error, "tick ", the tick's start in microseconds of the monotonic
// clock and its place on the grid (bench/cadence.sh, the tick-skip tests),
// and after a tick that sent, "sent " and "ok" or "failed".
bool TickTraceRequested();
void TraceTick(int64_t startedMicroseconds, int64_t index);
void TraceSend(bool ok);

}  // namespace zq

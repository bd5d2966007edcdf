// The 50 ms tick source and the signals that end the run, both as file
// descriptors for one poll() in the UI thread.
#pragma once

#include <cstdint>
#include <string>

namespace zq {

constexpr int kTickMilliseconds = 50;

// A periodic monotonic timer. Expiries that passed while a tick ran are
// counted by the kernel; Consume() reads them all and answers whether any
// fell due, so the loop runs one tick for them, not one per expiry.
class TickTimer {
 public:
  TickTimer() = default;
  ~TickTimer();
  TickTimer(const TickTimer&) = delete;
  TickTimer& operator=(const TickTimer&) = delete;

  bool Start(int milliseconds, std::string& error);
  int Fd() const { return fd_; }
  // Expiries since the last call (0 when none); the caller runs one tick if
  // this is not 0.
  uint64_t Consume();

 private:
  int fd_ = -1;
};

// SIGTERM, SIGINT and SIGHUP (log-off) delivered through a descriptor, so
// that they end the run between two ticks, never inside one.
class TerminationSignals {
 public:
  TerminationSignals() = default;
  ~TerminationSignals();
  TerminationSignals(const TerminationSignals&) = delete;
  TerminationSignals& operator=(const TerminationSignals&) = delete;

  bool Start(std::string& error);
  int Fd() const { return fd_; }
  // True when one of the signals has arrived.
  bool Consume();

 private:
  int fd_ = -1;
};

}  // namespace zq

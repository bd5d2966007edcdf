// The single-instance guard: an abstract Unix socket name per user and X
// display, held for the life of the process and released by the kernel
// however the process ends.
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>
#include <thread>

#include "app/form_design.h"

namespace zq {

// "ZQ-test-joy/UID/DISPLAY": one name per user and X display, as the Windows
// mutex is one per login session. The display is taken without its screen
// (":0.1" is ":0") and "unix:0" is ":0"; no display gives "ZQ-test-joy/UID".
std::string InstanceNameFor(uid_t uid, const char* display);

class InstanceGuard {
 public:
  enum class Result { acquired, otherCopyRuns, unavailable };

  InstanceGuard() = default;
  ~InstanceGuard();
  InstanceGuard(const InstanceGuard&) = delete;
  InstanceGuard& operator=(const InstanceGuard&) = delete;

  // The name of this user on $DISPLAY.
  Result Acquire();
  // Binding the name is one atomic step, so two copies started at the same
  // instant cannot both pass. A name held by a process of another user (a
  // squatter: any local user can bind any abstract name) does not count:
  // the guard takes "NAME#2", "NAME#3"... instead, and only a holder of this
  // user's own makes `otherCopyRuns`. `unavailable` (no socket at all, or
  // every name taken by others) lets the copy run without the guard.
  Result Acquire(std::string_view name);

 private:
  enum class Try { taken, ours, others, noSocket };
  Try TryName(const std::string& name);
  void Serve();

  int fd_ = -1;
  int stop_ = -1;
  std::thread server_;
};

}  // namespace zq

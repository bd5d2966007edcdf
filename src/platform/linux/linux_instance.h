// The single-instance guard: an abstract Unix socket name per user and X
// display, held for the life of the process and released by the kernel
// however the process ends. The same user's configurator may ask its holder
// which file it reads, and ask it to close (posix_panel_channel.h).
#pragma once

#include <sys/types.h>

#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "app/form_design.h"
#include "platform/posix/posix_panel_channel.h"

namespace zq {

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

  // The settings file this panel reads, told to the configurator that asks.
  void TellSetupFile(std::string path);
  // Readable once this user's configurator asked the panel to close; -1
  // while no name is held. TakeCloseRequest() reads it empty again.
  int CloseRequests() const { return close_; }
  bool TakeCloseRequest();

 private:
  enum class Try { taken, ours, others, noSocket };
  Try TryName(const std::string& name);
  void Serve();
  void Answer(int connection);

  int fd_ = -1;
  int stop_ = -1;
  int close_ = -1;
  std::thread server_;
  std::mutex setupFileLock_;
  std::string setupFile_;
};

}  // namespace zq

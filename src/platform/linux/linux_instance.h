// The single-instance guard: an abstract Unix socket name, held for the life
// of the process and released by the kernel however the process ends.
#pragma once

#include <string_view>

namespace zq {

constexpr std::string_view kInstanceName = "ZQ-test-joy";

class InstanceGuard {
 public:
  enum class Result { acquired, otherCopyRuns, unavailable };

  InstanceGuard() = default;
  ~InstanceGuard();
  InstanceGuard(const InstanceGuard&) = delete;
  InstanceGuard& operator=(const InstanceGuard&) = delete;

  // Binding the name is one atomic step, so two copies started at the same
  // instant cannot both pass. `unavailable` (no socket at all) lets the copy
  // run without the guard.
  Result Acquire(std::string_view name = kInstanceName);

 private:
  int fd_ = -1;
};

}  // namespace zq

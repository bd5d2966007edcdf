// The single-instance guard: a named mutex of the login session, held for
// the life of the process and released by the system however it ends.
#pragma once

#include <windows.h>

#include <memory>

namespace zq {

class InstanceGuard {
 public:
  enum class Result { acquired, otherCopyRuns, unavailable };

  // The mutex named kInstanceName. Creating it and looking at the result
  // closes the gap that opening it first would leave between two copies
  // started at the same instant. `unavailable` (no mutex could be made at
  // all) lets the copy run without the guard.
  Result Acquire();

 private:
  struct CloseHandleOf {
    void operator()(HANDLE h) const { CloseHandle(h); }
  };
  std::unique_ptr<void, CloseHandleOf> mutex_;
};

}  // namespace zq

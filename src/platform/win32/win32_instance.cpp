#include "platform/win32/win32_instance.h"

#include <string>

#include "app/form_design.h"

namespace zq {

InstanceGuard::Result InstanceGuard::Acquire() {
  SetLastError(ERROR_SUCCESS);
  HANDLE mutex = CreateMutexA(nullptr, FALSE, std::string(kInstanceName).c_str());
  DWORD error = GetLastError();
  mutex_.reset(mutex);
  if (error == ERROR_ALREADY_EXISTS) return Result::otherCopyRuns;
  // Access denied: the mutex exists but was made by a copy of another
  // integrity level (an elevated one), which runs all the same.
  if (mutex_ == nullptr) {
    return error == ERROR_ACCESS_DENIED ? Result::otherCopyRuns : Result::unavailable;
  }
  return Result::acquired;
}

}  // namespace zq

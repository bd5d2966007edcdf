#include <windows.h>

#include "platform/platform.h"

namespace zq {

std::optional<ScreenSize> AskPrimaryScreen() {
  ScreenSize s{GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  if (s.width <= 0 || s.height <= 0) return std::nullopt;
  return s;
}

}  // namespace zq

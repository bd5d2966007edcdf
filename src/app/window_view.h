// The window as the core sees it: the status labels and P, plus placement.
#pragma once

#include <cstdint>

#include "control/status_view.h"

namespace zq {

struct Placement {
  int32_t left = 0, top = 0, width = 0, height = 0;
  friend bool operator==(const Placement&, const Placement&) = default;
};

class WindowView : public StatusView {
 public:
  // Sizes and places the window (once, at the end of the settings load).
  virtual void Place(const Placement& placement) = 0;
};

}  // namespace zq

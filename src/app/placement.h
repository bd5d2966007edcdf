// Where the panel stands: the primary screen's size and the window's place.
#pragma once

#include <cstdint>

#include "app/window_view.h"

namespace zq {

struct ScreenSize {
  int32_t width = 0, height = 0;
};

// The design's place and size, kept when the settings load ends early.
Placement DesignPlacement();

// Width 42; -1 for either coordinate puts the panel at the right edge of the
// screen and at screen height / 1.6 (nearest, ties to even).
Placement PlaceWindow(int32_t windowX, int32_t windowY, ScreenSize screen);
}  // namespace zq

// The size of the current primary screen, where the system can say it
// without making zq-check need a display.
#pragma once

#include <optional>

#include "app/status_window.h"

namespace zq::check {

// nullopt when no screen can be asked (no display, no X library): zq-check
// then assumes 1920 x 1080.
std::optional<ScreenSize> AskPrimaryScreen();

}  // namespace zq::check

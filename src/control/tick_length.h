// The panel's tick: the control logic counts each tick as this long (the
// fire time counters), and the shells' tick drivers aim for it.
#pragma once

#include <cstdint>

namespace zq {

constexpr int32_t kTickMs = 50;

}  // namespace zq

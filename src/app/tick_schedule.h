// When the next tick falls, for the shells' tick drivers. The drivers read a
// monotonic clock (the control logic never does: each tick counts as 50 ms)
// and keep their timers on a fixed grid, so that the time each wake-up takes
// does not add up into a slower cadence.
#pragma once

#include <cstdint>

#include "control/tick_length.h"

namespace zq {

constexpr int64_t kTickMicroseconds = int64_t{kTickMs} * 1000;

// `due`: when the tick that is starting now fell due; `started`: when it
// started; both on the driver's clock, in any one unit. Answers when the next
// tick falls due.
//
// The grid is kept as long as the next tick then comes at least nine tenths
// of an interval after this one: a wake-up's jitter adds no drift. A tick
// that starts later than that (a long tick before it, a busy loop) moves the
// grid just as far as needed: the ticks that fell due meanwhile are dropped,
// and the next one never bunches up behind this one.
constexpr int64_t NextTickDue(int64_t due, int64_t started, int64_t interval) {
  const int64_t onGrid = due + interval;
  const int64_t earliest = started + interval - interval / 10;
  return onGrid >= earliest ? onGrid : earliest;
}

}  // namespace zq

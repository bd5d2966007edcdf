// When the next tick falls, for the shells' tick drivers. The drivers read a
// monotonic clock (the control logic never does: each tick counts as 50 ms)
// and keep their timers on a fixed grid, so that the time each wake-up takes
// does not add up into a slower cadence.
#pragma once

#include <cstdint>

namespace zq {

constexpr int64_t kTickMicroseconds = 50'000;

// `due`: when the tick that is starting now fell due; `started`: when it
// started; both on the driver's clock, in any one unit. Answers when the next
// tick falls due.
//
// On time, or late by a tenth of an interval at most (a wake-up's jitter),
// the grid is kept: the next tick is due one interval after this one was.
// Later than that (a long tick before it, a busy loop, a timer of coarse
// grain), the ticks that fell due meanwhile are dropped and the grid starts
// again from this tick: the next one comes a full interval after it, never
// bunched up behind it.
constexpr int64_t NextTickDue(int64_t due, int64_t started, int64_t interval) {
  return started - due > interval / 10 ? started + interval : due + interval;
}

}  // namespace zq

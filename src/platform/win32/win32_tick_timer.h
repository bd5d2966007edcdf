// The 50 ms tick of the panel, delivered as a message to its window, so that
// the tick runs on the UI thread, from the main loop or from the loop of a
// modal box alike.
//
// A window timer (SetTimer) lands on the system clock's 15.6 ms grain: 50 ms
// becomes about 62.5 ms, and every rate counted in ticks (time counters,
// throttle) runs a fifth slow against the wall clock. Here a waitable timer
// of high resolution (Windows 10 1803 and later; elsewhere an ordinary one
// with the timer resolution raised to 1 ms for the run) is waited for by a
// small thread that does nothing but post the tick message. The UI thread
// arms the timer again when a tick starts, so at most one message is pending:
// ticks never overlap and are never made up. SetTimer stays as the last
// resort when no timer or thread can be made.
#pragma once

#include <windows.h>

#include <cstdint>

namespace zq {

class Win32TickTimer {
 public:
  enum class Source {
    none,
    highResolutionTimer,  // CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
    raisedResolution,     // an ordinary waitable timer under timeBeginPeriod(1)
    windowTimer,          // SetTimer: WM_TIMER with kWindowTimerId
  };
  static constexpr UINT_PTR kWindowTimerId = 1;

  Win32TickTimer() = default;
  ~Win32TickTimer();
  Win32TickTimer(const Win32TickTimer&) = delete;
  Win32TickTimer& operator=(const Win32TickTimer&) = delete;

  // Starts posting `message` to `window` (a window of the calling thread),
  // the first one `milliseconds` from now. False only when not even a window
  // timer could be had.
  bool Start(HWND window, UINT message, int milliseconds);
  // The window calls this when the tick message (or the fallback's WM_TIMER)
  // arrives, before it runs the tick: the next tick is timed from here
  // (NextTickDue). Answers the tick's start in microseconds of the
  // performance counter.
  int64_t BeginTick();
  // Stops the ticks, the thread and the raised timer resolution. The window
  // must still exist for the fallback's KillTimer.
  void Stop();
  Source CurrentSource() const { return source_; }

 private:
  static DWORD WINAPI PostTicks(void* driver);
  void Arm(int64_t due);

  HWND window_ = nullptr;
  UINT message_ = 0;
  int64_t interval_ = 0;  // microseconds
  int64_t due_ = 0;       // when the timer is set to fire
  HANDLE timer_ = nullptr;
  HANDLE stop_ = nullptr;
  HANDLE thread_ = nullptr;
  bool raisedResolution_ = false;
  Source source_ = Source::none;
};

// Microseconds of the performance counter (monotonic).
int64_t PerformanceMicroseconds();

// ZQ_TICK_TRACE=1 in the environment: one line per tick on standard error,
// "tick " and the tick's start in microseconds of the performance counter,
// for bench/cadence.sh; the first line names the tick source.
bool TickTraceRequested();
void TraceTickSource(Win32TickTimer::Source source);
void TraceTick(int64_t startedMicroseconds);

}  // namespace zq

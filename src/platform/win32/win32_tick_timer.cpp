#include "platform/win32/win32_tick_timer.h"

#include <mmsystem.h>

#include <charconv>

#include "app/tick_schedule.h"

namespace zq {
namespace {

// Windows 10 1803 and later; older systems refuse the flag, and older SDK
// headers lack the name.
constexpr DWORD kHighResolutionTimer = 0x00000002;  // CREATE_WAITABLE_TIMER_HIGH_RESOLUTION

void WriteTrace(const char* text, size_t length) {
  HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
  if (err == nullptr || err == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(err, text, static_cast<DWORD>(length), &written, nullptr);
}

}  // namespace

Win32TickTimer::~Win32TickTimer() {
  Stop();
}

bool Win32TickTimer::Start(HWND window, UINT message, int milliseconds) {
  Stop();
  window_ = window;
  message_ = message;
  interval_ = static_cast<int64_t>(milliseconds) * 1000;
  Source waitable = Source::highResolutionTimer;
  timer_ = CreateWaitableTimerExW(nullptr, nullptr, kHighResolutionTimer, TIMER_ALL_ACCESS);
  if (timer_ == nullptr) {
    // An ordinary timer follows the system's timer resolution: 1 ms while
    // the panel runs (given back in Stop, and by the system at exit).
    raisedResolution_ = timeBeginPeriod(1) == TIMERR_NOERROR;
    timer_ = CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS);
    waitable = Source::raisedResolution;
  }
  if (timer_ != nullptr) stop_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (timer_ != nullptr && stop_ != nullptr) {
    Arm(PerformanceMicroseconds() + interval_);
    thread_ = CreateThread(nullptr, 64 * 1024, PostTicks, this, STACK_SIZE_PARAM_IS_A_RESERVATION,
                           nullptr);
  }
  if (thread_ != nullptr) {
    // It only posts a message: promptly, and at no cost to anything else.
    SetThreadPriority(thread_, THREAD_PRIORITY_HIGHEST);
    source_ = waitable;
    return true;
  }
  // No timer object or no thread: the window timer, at the clock's grain.
  if (timer_ != nullptr) CloseHandle(timer_);
  if (stop_ != nullptr) CloseHandle(stop_);
  timer_ = stop_ = nullptr;
  if (SetTimer(window, kWindowTimerId, static_cast<UINT>(milliseconds), nullptr) == 0) {
    Stop();
    return false;
  }
  source_ = Source::windowTimer;
  return true;
}

void Win32TickTimer::Arm(int64_t due) {
  due_ = due;
  int64_t wait = due - PerformanceMicroseconds();
  if (wait < 1) wait = 1;
  // Relative (negative, in 100 ns): counted on the system's monotonic
  // interrupt time, not on the wall clock, which the user may set.
  LARGE_INTEGER relative;
  relative.QuadPart = -wait * 10;
  SetWaitableTimer(timer_, &relative, 0, nullptr, nullptr, FALSE);
}

int64_t Win32TickTimer::BeginTick() {
  const int64_t started = PerformanceMicroseconds();
  // Armed again only now, so the thread cannot post a second message while
  // this one is handled: what falls due during a long tick is one message.
  if (timer_ != nullptr) Arm(NextTickDue(due_, started, interval_));
  return started;
}

DWORD WINAPI Win32TickTimer::PostTicks(void* driver) {
  auto* self = static_cast<Win32TickTimer*>(driver);
  HANDLE waits[2] = {self->stop_, self->timer_};
  while (WaitForMultipleObjects(2, waits, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) {
    if (!PostMessageW(self->window_, self->message_, 0, 0)) {
      // A full queue: nothing is pending, so try again an interval later.
      LARGE_INTEGER relative;
      relative.QuadPart = -self->interval_ * 10;
      SetWaitableTimer(self->timer_, &relative, 0, nullptr, nullptr, FALSE);
    }
  }
  return 0;
}

void Win32TickTimer::Stop() {
  if (thread_ != nullptr) {
    SetEvent(stop_);
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
    thread_ = nullptr;
  }
  if (timer_ != nullptr) {
    CancelWaitableTimer(timer_);
    CloseHandle(timer_);
    timer_ = nullptr;
  }
  if (stop_ != nullptr) {
    CloseHandle(stop_);
    stop_ = nullptr;
  }
  if (source_ == Source::windowTimer && window_ != nullptr && IsWindow(window_)) {
    KillTimer(window_, kWindowTimerId);
  }
  if (raisedResolution_) {
    timeEndPeriod(1);
    raisedResolution_ = false;
  }
  source_ = Source::none;
}

int64_t PerformanceMicroseconds() {
  static const int64_t frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f.QuadPart;
  }();
  LARGE_INTEGER count;
  QueryPerformanceCounter(&count);
  return count.QuadPart / frequency * 1000000 + count.QuadPart % frequency * 1000000 / frequency;
}

bool TickTraceRequested() {
  char value[4] = {};
  DWORD n = GetEnvironmentVariableA("ZQ_TICK_TRACE", value, sizeof value);
  return n == 1 && value[0] == '1';
}

void TraceTickSource(Win32TickTimer::Source source) {
  const char* text = "tick source: none\n";
  switch (source) {
    case Win32TickTimer::Source::highResolutionTimer:
      text = "tick source: high-resolution waitable timer\n";
      break;
    case Win32TickTimer::Source::raisedResolution:
      text = "tick source: waitable timer, timer resolution raised to 1 ms\n";
      break;
    case Win32TickTimer::Source::windowTimer:
      text = "tick source: window timer (SetTimer)\n";
      break;
    case Win32TickTimer::Source::none:
      break;
  }
  WriteTrace(text, lstrlenA(text));
}

void TraceTick(int64_t startedMicroseconds) {
  char line[32] = "tick ";
  auto [end, error] = std::to_chars(line + 5, line + sizeof line - 1, startedMicroseconds);
  if (error != std::errc()) return;
  *end++ = '\n';
  WriteTrace(line, static_cast<size_t>(end - line));
}

}  // namespace zq

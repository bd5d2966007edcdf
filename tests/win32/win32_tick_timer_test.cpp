// The panel's tick driver on its own, with a test callback in place of the
// tick: the cadence after a long tick, at most one tick message pending, the
// ticks inside a modal box's own message loop, and the end of the ticks.
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <vector>

#include "platform/win32/win32_tick_timer.h"

namespace zq {
namespace {

constexpr UINT kTickMessage = WM_APP + 1;

// A message-only window whose tick handler does what the panel's does: tell
// the driver, then run the tick (here: the test's callback).
class TickProbe {
 public:
  TickProbe() {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = Proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"ZqTickProbe";
    RegisterClassExW(&wc);
    window_ = CreateWindowExW(0, L"ZqTickProbe", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              wc.hInstance, nullptr);
    current = this;
  }
  ~TickProbe() {
    driver.Stop();
    DestroyWindow(window_);
    current = nullptr;
  }
  HWND Window() const { return window_; }

  // Handles messages until `done` says so; false when no message came for a
  // second (the ticks stopped).
  bool PumpUntil(const std::function<bool()>& done) {
    while (!done()) {
      // Also for messages that a look at the queue (inside a box's loop) has
      // seen but not taken.
      if (MsgWaitForMultipleObjectsEx(0, nullptr, 1000, QS_ALLINPUT, MWMO_INPUTAVAILABLE) ==
          WAIT_TIMEOUT) {
        return false;
      }
      MSG m;
      while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
    }
    return true;
  }

  Win32TickTimer driver;
  std::function<void()> onTick;
  std::vector<int64_t> starts, ends;  // the callback's own clock readings

 private:
  static LRESULT CALLBACK Proc(HWND w, UINT message, WPARAM wp, LPARAM lp) {
    bool tick =
        message == kTickMessage || (message == WM_TIMER && wp == Win32TickTimer::kWindowTimerId);
    if (current == nullptr || !tick) return DefWindowProcW(w, message, wp, lp);
    current->driver.BeginTick();
    current->starts.push_back(PerformanceMicroseconds());
    if (current->onTick) current->onTick();
    current->ends.push_back(PerformanceMicroseconds());
    return 0;
  }
  static TickProbe* current;
  HWND window_ = nullptr;
};
TickProbe* TickProbe::current = nullptr;

double Ms(int64_t microseconds) {
  return static_cast<double>(microseconds) / 1000.0;
}

TEST(Win32TickTimer, ALongTickIsFollowedAtOnceThenTheCadenceResumesUnbunched) {
  constexpr size_t kSlow = 4, kTicks = 14;
  TickProbe probe;
  ASSERT_TRUE(probe.driver.Start(probe.Window(), kTickMessage, 50));
  // Not the window timer, whose 15.6 ms grain makes 50 ms about 62.5 ms.
  EXPECT_NE(probe.driver.CurrentSource(), Win32TickTimer::Source::windowTimer);
  probe.onTick = [&] {
    if (probe.starts.size() == kSlow + 1) Sleep(120);
  };
  ASSERT_TRUE(probe.PumpUntil([&] { return probe.starts.size() >= kTicks; }))
      << "the ticks stopped after " << probe.starts.size();
  const std::vector<int64_t>& s = probe.starts;
  // What fell due during the long tick is one tick, which starts as soon as
  // the loop is free: not one more interval later (about 50 ms), whatever
  // the machine's load adds.
  EXPECT_LT(Ms(s[kSlow + 1] - probe.ends[kSlow]), 25.0);
  // No catch-up burst: from the long tick on, no two ticks closer than 40 ms.
  for (size_t i = kSlow; i + 1 < kTicks; ++i) {
    EXPECT_GE(Ms(s[i + 1] - s[i]), 40.0) << "ticks " << i << " and " << i + 1;
  }
}

TEST(Win32TickTimer, OneTickMessageAtMostIsPendingWhileTheThreadIsBusy) {
  TickProbe probe;
  ASSERT_TRUE(probe.driver.Start(probe.Window(), kTickMessage, 50));
  auto pending = [&] {
    int n = 0;
    MSG m;
    while (PeekMessageW(&m, probe.Window(), kTickMessage, kTickMessage, PM_REMOVE)) ++n;
    return n;
  };
  // Six intervals without a look at the queue: one message waits, not six.
  Sleep(300);
  EXPECT_EQ(pending(), 1);
  // The tick that handles it times the next one; again one message for a
  // busy stretch, none made up afterwards.
  probe.driver.BeginTick();
  Sleep(180);
  EXPECT_EQ(pending(), 1);
  probe.driver.BeginTick();
  EXPECT_EQ(pending(), 0);
}

bool HaveDisplay() {
  HDC screen = GetDC(nullptr);
  if (screen == nullptr) return false;
  ReleaseDC(nullptr, screen);
  return GetSystemMetrics(SM_CXSCREEN) > 0;
}

TEST(Win32TickTimer, TicksGoOnInsideAModalBoxAndStopWithTheDriver) {
  if (!HaveDisplay()) GTEST_SKIP() << "no display for the box";
  TickProbe probe;
  ASSERT_TRUE(probe.driver.Start(probe.Window(), kTickMessage, 50));
  size_t boxOpenedAt = 0, ticksInBox = 0;
  probe.onTick = [&] {
    if (boxOpenedAt != 0) {
      // A tick from the box's own message loop, as under an error box.
      if (++ticksInBox == 6) {
        if (HWND box = FindWindowW(L"#32770", L"zq_tick_probe")) {
          PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        }
      }
      return;
    }
    if (probe.starts.size() == 2) {
      boxOpenedAt = probe.starts.size();
      MessageBoxW(nullptr, L"ticks go on", L"zq_tick_probe", MB_OK);
    }
  };
  // (Under wine without a window manager, the box can take 2 s to go.)
  ASSERT_TRUE(probe.PumpUntil([&] { return probe.starts.size() >= 12; }));
  EXPECT_GE(ticksInBox, 6u);
  // Ticks in the box never overlap and keep their spacing.
  for (size_t i = boxOpenedAt; i + 1 < boxOpenedAt + 6; ++i) {
    EXPECT_GE(Ms(probe.starts[i + 1] - probe.starts[i]), 40.0) << "ticks " << i << " and " << i + 1;
  }

  probe.driver.Stop();
  EXPECT_EQ(probe.driver.CurrentSource(), Win32TickTimer::Source::none);
  MSG m;
  while (PeekMessageW(&m, probe.Window(), kTickMessage, kTickMessage, PM_REMOVE)) {
  }
  Sleep(150);
  EXPECT_FALSE(PeekMessageW(&m, probe.Window(), kTickMessage, kTickMessage, PM_REMOVE))
      << "a tick after Stop";
}

}  // namespace
}  // namespace zq

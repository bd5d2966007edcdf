// zq-thrust on Linux: the status panel on X11 through SDL2.
#include <SDL.h>
#include <X11/Xlib.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/error_report.h"
#include "app/form_shell.h"
#include "app/run_report.h"
#include "app/tform1.h"
#include "config/settings_snapshot.h"
#include "control/tick_skip.h"
#include "platform/linux/fontconfig_font.h"
#include "platform/linux/linux_error_box.h"
#include "platform/linux/linux_input_devices.h"
#include "platform/linux/linux_instance.h"
#include "platform/linux/linux_tick_timer.h"
#include "platform/linux/sdl_window.h"
#include "platform/linux/stderr_lines.h"
#include "platform/linux/test_stick.h"
#include "platform/linux/wake_sources.h"
#include "platform/linux/x11_lost_server.h"
#include "platform/platform.h"
#include "platform/posix/posix_udp.h"

namespace zq {
namespace {

// Program-wide storage outside the window, all zero at start.
CurveBank curveBank;

// The main window cannot be made: say why on stderr and in the
// "Application Error" box, then end with exit code 1.
int FailToStart(const std::string& executable, std::string_view kind, const std::string& why) {
  std::string title = ProgramTitle(executable);
  std::fprintf(stderr, "%s: %s\n", title.c_str(), why.c_str());
  ShowBlockingBox("Application Error", BoxText(ApplicationErrorText(kind, executable, 0, why)));
  return 1;
}

// The line naming file, line and key of a binding that ended the load.
void ReportLoadError(const TForm1& form, const SettingsSnapshot& settings,
                     const std::filesystem::path& shownPath, ReportLines& lines, RunReport& run) {
  const std::optional<BindingLoadError>& e = form.LoadError();
  if (!e) return;
  const std::string_view key = kSlotTable[static_cast<size_t>(e->slot)].key;
  run.LoadEndedAt(e->slot);
  lines.Line(LoadErrorLine(shownPath.string(), KeyLine(settings.Profile(), "main", key), key,
                           MakeReportText(e->error.Message()).View()));
}

int RunPanel(const char* argv0, const PanelOptions& options) {
  // First of all: until the loop below can look at the stop descriptor, a
  // stop ends the start at once.
  const bool stopsCaught = InstallStopSignals(true);
  const int stopError = errno;
  InstanceGuard guard;
  // A second copy ends at once, silently; without any socket at all the
  // copy runs unguarded.
  if (guard.Acquire() == InstanceGuard::Result::otherCopyRuns) return 0;
  // The player's configurator may ask which file this panel reads.
  const std::filesystem::path settingsPath = SettingsPathOf(options);
  std::error_code ec;
  const std::filesystem::path shownPath =
      std::filesystem::absolute(settingsPath, ec).lexically_normal();
  guard.TellSetupFile(shownPath.string());

  // Numbers: the core writes its own digits with "." and this program never
  // takes the user's locale (no setlocale(LC_ALL, "")), so regional settings
  // cannot change a command message or a label.
  const std::string executable = ExecutablePath(argv0);
  const std::string title = ProgramTitle(executable);
  std::string error;

  if (!stopsCaught) {
    return FailToStart(executable, "ESignalError",
                       std::string("cannot catch the stop signals: ") + std::strerror(stopError));
  }
  EndWhenXServerGoes(title);

  X11Keyboard keyboard;
  if (!keyboard.Open(error)) {
    // No X server, no box either: stderr is all there is.
    std::fprintf(stderr, "%s: %s\n", title.c_str(), error.c_str());
    return 1;
  }

  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  std::string fontPath = FindPanelFont(error);
  if (fontPath.empty()) return FailToStart(executable, "EFontError", error);
  SdlWindow view;
  if (!view.Create(fontPath, error)) return FailToStart(executable, "EWindowError", error);

  SdlJoysticks joysticks;
  if (!joysticks.Start(error)) {
    // Keyboard bindings still work; joystick records then stay as they are.
    std::fprintf(stderr, "%s: %s; joysticks are not read\n", title.c_str(), error.c_str());
  }
  TestStick testStick;
  if (!testStick.Start(joysticks, error))
    std::fprintf(stderr, "%s: %s\n", title.c_str(), error.c_str());
  LinuxInputDevices devices(keyboard, joysticks);
  AnswerWatch answers(devices);
  PosixUdpSender udp;
  LinuxErrorReport report(title);
  // A load error's box waits for the panel's window, so as to belong to it.
  report.AwaitOwner();
  TForm1 form(curveBank, answers, view, udp);
  view.AttachForm(&form);

  // One reading serves every lookup of the load; a file that cannot be read
  // is named on stderr and the defaults apply.
  SettingsSnapshot settings = TakeSettingsSnapshot(settingsPath.string());
  StderrLines lines(title);
  for (const std::string& line :
       SettingsReportLines(shownPath, settings.State(), settings.Cause())) {
    lines.Line(line);
  }
  RunReport runReport(lines);
  X11KeyCharMap keyMap;
  CreateForm(form, settings, keyMap, view.PrimaryScreen(), report);
  ReportLoadError(form, settings, shownPath, lines, runReport);
  if (!view.Show(error)) return FailToStart(executable, "EWindowError", error);
  report.SetOwner(view.XWindowId());

  // The first tick comes one interval after the window is shown, never
  // before the settings load has ended.
  LinuxTickTimer timer;
  if (!timer.Start(kTickMilliseconds, error)) return FailToStart(executable, "ETimerError", error);
  const bool traceTicks = TickTraceRequested();

  StopWakesTheLoop();  // from here a signal ends the loop, below
  Display* display = view.XDisplay();
  const int xfd = display != nullptr ? ConnectionNumber(display) : -1;
  // Ticks that would change nothing are left out, unless keys can only be
  // seen by asking for them.
  const bool skipTicks = TickSkipAllowed() && !keyboard.PolledOnly();
  enum { kTimer, kSignals, kWindow, kKeys, kHotplug, kBox, kSticks, kTestStick, kCloseAsked };
  WakeSources wake;
  if (!wake.Ok()) return FailToStart(executable, "ETimerError", "cannot make the wait set");
  wake.Watch(kTimer, timer.Fd());
  wake.Watch(kSignals, StopDescriptor());
  wake.Watch(kWindow, xfd);
  wake.Watch(kKeys, keyboard.Fd());
  wake.Watch(kHotplug, joysticks.HotplugFd());
  // Stick events matter only to a loop that may sleep; while the ticks run,
  // the first event after a tick is noted and the rest wait for the tick.
  const int stickEvents = skipTicks ? joysticks.EventsFd() : -1;
  wake.Watch(kSticks, stickEvents);
  wake.Watch(kTestStick, testStick.Fd());
  wake.Watch(kCloseAsked, guard.CloseRequests());
  bool running = true, windowEvents = true, sticksMoved = false;
  while (running) {
    // SDL is asked for window events only when the server sent some: an idle
    // tick then costs the timer read alone.
    if (windowEvents || display == nullptr) {
      SDL_Event event;
      while (SDL_PollEvent(&event)) {
        if (!view.HandleEvent(event)) running = false;
      }
      if (!running) break;
    }
    view.Present();
    // Drawing waits for the server, and events read meanwhile sit in Xlib's
    // queue, where poll() cannot see them.
    windowEvents = display != nullptr && XEventsQueued(display, QueuedAlready) > 0;
    if (windowEvents) continue;

    // One wait for everything; the box's descriptor comes and goes.
    wake.Watch(kBox, report.BoxFd(), report.BoxPid());
    wake.Watch(kHotplug, joysticks.HotplugFd());
    const int64_t ready = wake.Wait();
    if (ready < 0) {
      std::perror("epoll_wait");
      break;
    }
    auto woke = [ready](int source) { return (ready >> source & 1) != 0; };
    if (woke(kSignals) && StopRequested()) break;
    if (woke(kCloseAsked) && guard.TakeCloseRequest()) {
      // The player's configurator restarts the panel: out the same way as
      // the window manager's close.
      SDL_Event quit{};
      quit.type = SDL_QUIT;
      SDL_PushEvent(&quit);
      windowEvents = true;
      continue;
    }
    if (woke(kBox)) report.Reap();
    windowEvents = xfd >= 0 && woke(kWindow);
    // Key events wait in the queue for the next tick, which sees them on
    // the grid, never earlier.
    const bool keys = woke(kKeys);
    if (keys) keyboard.ReadEvents();
    const bool hotplug = woke(kHotplug);
    if (hotplug) joysticks.NoteHotplug();
    const bool testMoved = woke(kTestStick);
    if (testMoved) testStick.ReadCommands();
    if (woke(kSticks)) {
      sticksMoved = true;
      wake.Watch(kSticks, -1);
    }
    if (timer.Paused()) {
      if (sticksMoved) {
        joysticks.DrainEvents();
        sticksMoved = false;
        wake.Watch(kSticks, stickEvents);
      }
      if ((keys || hotplug || testMoved || woke(kSticks)) && !timer.Resume()) {
        std::perror("timerfd_settime");
        break;
      }
      continue;
    }
    // One tick however many expiries passed: missed ticks are not made up.
    if (woke(kTimer) && timer.Consume() > 0) {
      if (traceTicks) TraceTick(timer.TickStarted(), timer.TickIndex());
      // Events read away before SDL reads the sticks: one that comes later
      // wakes the loop again, even if this tick saw its change.
      if (sticksMoved) {
        joysticks.DrainEvents();
        sticksMoved = false;
        wake.Watch(kSticks, stickEvents);
      }
      devices.Refresh();
      const TickOutcome outcome = RunTick(form, report);
      if (traceTicks && outcome.sent) TraceSend(outcome.result.Ok());
      runReport.AfterTick(form.State(), form.StickPinErrors(), outcome);
      // Asleep until a key, a stick, a device, a signal or the window needs the
      // loop; the keyboard's connection is read once more here, so that a
      // key that came during the tick keeps the ticks going.
      if (skipTicks && MaySkipTicks(form.State()) && joysticks.Settled(form.State().joyUsed) &&
          !keyboard.ReadEvents() &&
          !(display != nullptr && XEventsQueued(display, QueuedAfterReading) > 0)) {
        timer.Pause();
      }
    }
  }

  udp.Close();
  return 0;
}

}  // namespace
}  // namespace zq

int main(int argc, char** argv) {
  if (argc >= 2 && argv[1] == zq::kErrorBoxArgument) return zq::RunErrorBox(argc, argv);
  const char* argv0 = argc > 0 ? argv[0] : nullptr;
  const std::string program = zq::ProgramTitle(argv0 != nullptr ? argv0 : "zq-thrust");
  zq::PanelOptions options =
      zq::ParsePanelOptions(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc));
  // A menu entry's command line passes "~/flying" unexpanded: no shell runs it.
  const char* home = std::getenv("HOME");
  if (options.setup.rfind("~/", 0) == 0 && home != nullptr && *home != '\0') {
    options.setup = home + options.setup.substr(1);
  }
  switch (options.action) {
    case zq::PanelOptions::Action::help:
      std::fputs(zq::PanelHelpText(program).c_str(), stdout);
      return 0;
    case zq::PanelOptions::Action::version:
      std::fputs(zq::PanelVersionText(program).c_str(), stdout);
      return 0;
    case zq::PanelOptions::Action::bad:
      std::fprintf(stderr, "%s: %s (see %s --help)\n", program.c_str(), options.error.c_str(),
                   program.c_str());
      return 2;
    case zq::PanelOptions::Action::run:
      break;
  }
  return zq::RunPanel(argv0, options);
}

// The panel as the configurator starts and closes it (part of the platform
// contract, platform.h). Only the player's own panel is ever found or asked
// to close: on Linux the one holding this user's instance name on this X
// display, on Windows the panel's window in this login session run by this
// user. Every `zq_platform` defines these.
#pragma once

#include <string>

namespace zq {

// zq-thrust (zq-thrust.exe) in the folder of the running program, else on
// Linux the first one on PATH (absolute folders only); "" when none is found.
std::string PanelExecutable();

// The absolute form of `path` (from the working folder), as the panel names
// the file it reads.
std::string PanelSetupFile(const std::string& path);

struct PanelStart {
  bool started = false;
  long pid = 0;
  std::string problem;  // why it did not start, in words
};
// Runs `executable --setup FILE` in FILE's folder, detached from the caller:
// no shell, no descriptor of the caller's, a session of its own (on Windows
// no console), so that it outlives the caller. `setupFile` is absolute.
PanelStart StartPanel(const std::string& executable, const std::string& setupFile);

struct RunningPanel {
  bool running = false;
  long pid = 0;           // 0 when the system does not say
  std::string setupFile;  // the file it reads, "" when it does not say
  bool answers = false;   // it takes a request to close
};
RunningPanel FindPanel();

enum class PanelClose {
  none,          // no panel of ours runs
  closed,        // it closed, and its instance name is free again
  stillRunning,  // asked, but it had not ended within the wait
  refused,       // it runs but takes no request to close (an older panel)
};
// Asks the player's running panel to close as its window's close command
// would, and waits up to `waitMs` for it to be gone.
PanelClose ClosePanel(int waitMs);

}  // namespace zq

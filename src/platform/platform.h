// The platform contract: everything a platform folder (src/platform/NAME)
// gives the core, the panel's shell and the tools. The core never includes
// a platform header; a shell builds these objects and hands them in.
// src/platform/README.md lists the same with the shell's duties.
//
// Interfaces a panel shell implements (declared beside the core that calls
// them):
//   InputDevices    input/input_devices.h    keys and joysticks, polled per tick
//   WindowView      app/window_view.h        the labels, P and placement
//     (StatusView   control/status_view.h    the part the control tick uses)
//   DatagramSender  control/datagram_sender.h one datagram to 127.0.0.1:21100
//   SettingsLookup  config/settings_file.h   one key of Setup.ini
//   KeyCharMap      config/binding.h         which key a bound character is
//   ErrorReport     app/error_report.h       the error box, or its stand-in
//
// Functions every platform library (the `zq_platform` target) defines, for
// the tools and the scripted backend:
//   ReadSettingsFile      config/settings_snapshot.h  Setup.ini read once, bounded
//   MakePlatformFileOps   config/settings_store.h     safe replace for zq-setup
//   PanelExecutable, StartPanel, FindPanel, ClosePanel
//                         platform/panel_process.h    the panel, for zq-setup
//   and those below.
//
// The live devices the tools show (live_devices.h): each platform with
// devices builds `zq_live_devices` with its MakeLiveDevices; where none
// does, src/platform/null gives one that reads nothing.
#pragma once

#include <cstdint>
#include <ctime>
#include <memory>
#include <optional>
#include <string>

#include "app/error_report.h"
#include "app/placement.h"
#include "app/window_view.h"
#include "config/binding.h"
#include "config/settings_file.h"
#include "control/datagram_sender.h"
#include "input/input_devices.h"
#include "platform/live_devices.h"
#include "platform/panel_process.h"

namespace zq {

// The real sender of command messages (zq-replay --udp), with whatever the
// system needs started for it kept as long as the sender lives.
std::unique_ptr<DatagramSender> MakeCommandSender();

// Standard output and error write bytes as given (no newline translation),
// so that tools print the same bytes everywhere.
void UseBinaryStandardStreams();

// The size of the current primary screen, without making a tool need a
// display: nullopt when none can be asked.
std::optional<ScreenSize> AskPrimaryScreen();

// A datagram socket bound to 127.0.0.1, to watch the command messages the
// way the simulator receives them (zq-listen).
class DatagramListener {
 public:
  virtual ~DatagramListener() = default;
  // Binds 127.0.0.1:port (0 lets the system choose). Returns 0, or the
  // system's error code of the call that failed.
  virtual int Open(uint16_t port) = 0;
  // The port actually bound.
  virtual uint16_t Port() const = 0;

  enum class Wait { datagram, timeout, woken, failed };
  // Waits up to `timeoutMs` (-1: no limit) for one datagram, which lands in
  // `data`, or for `wakeFd` (StopDescriptor(), or -1) to become readable. On
  // `failed`, `errorNumber` holds the system's error code.
  virtual Wait Receive(std::string& data, int timeoutMs, int wakeFd, int& errorNumber) = 0;
};
std::unique_ptr<DatagramListener> MakeDatagramListener();

// The system's error codes of a listener, in words.
bool IsAccessDenied(int code);
bool IsAddressInUse(int code);
std::string ListenErrorText(int code);
std::tm LocalTime(std::time_t t);

// The user's stop request (Ctrl+C; SIGINT, SIGTERM and SIGHUP at log-off on
// POSIX) turned into something readable, so that a wait ends at once and a
// run ends between two ticks, never inside one. The one stop signal of each
// platform: the panel and the tools alike.
// Installs the handlers; false (errno set) when they cannot be set up. With
// `exitDuringStart`, a stop request ends the process at once with status 0
// until StopWakesTheLoop(): for a start whose steps wait (for a server, the
// fonts) and cannot look at the descriptor; nothing is written during a
// start, so there is nothing to put right.
bool InstallStopSignals(bool exitDuringStart = false);
// From here on a stop request only marks StopRequested() and wakes the
// descriptor.
void StopWakesTheLoop();
// Readable once a stop request has arrived: a descriptor, or on Windows a
// socket handle cut to an int (handles only use their low 32 bits).
int StopDescriptor();
bool StopRequested();

}  // namespace zq

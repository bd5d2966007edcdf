// The error report: a modal message box with the program title, shown by a
// copy of this program started for that box alone, so that the panel's
// ticks go on while the box is open. One box at a time; the box goes when
// the panel goes, however it ends.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <string_view>

#include "app/error_report.h"
#include "app/form_shell.h"

namespace zq {

// The hidden first argument that makes this program show one box and end.
// The title and text come on standard input (a socket that stays open
// while the panel runs): "<title bytes> <text bytes> <owner window>\n", the
// title, the text. The owner is the panel's X window, 0 for none.
constexpr std::string_view kErrorBoxArgument = "--zq-error-box";

// Exit code of a box process that could not show its box.
constexpr int kBoxFailedExit = 3;

// The message as the box shows it, in UTF-8: text that already is valid
// UTF-8 (a Setup.ini written on Linux) stays as it is, other text is read
// as Latin-1; a CR LF pair becomes one line break; other control bytes
// (NUL, tab, a lone CR) show as "?", as zq-check shows them.
std::string BoxText(std::string_view message);

// The executable's path: /proc/self/exe, else argv[0].
std::string ExecutablePath(const char* argv0);

class LinuxErrorReport : public ErrorReport {
 public:
  // After a box that could not be shown, no box is started for `quiet`; each
  // further failure in a row doubles that, up to kLongestQuiet.
  static constexpr std::chrono::milliseconds kFirstQuiet{30000};
  static constexpr std::chrono::milliseconds kLongestQuiet{600000};

  // `program` is started with kErrorBoxArgument for each box.
  explicit LinuxErrorReport(std::string title, std::string program = "/proc/self/exe",
                            std::chrono::milliseconds quiet = kFirstQuiet);
  ~LinuxErrorReport() override;
  LinuxErrorReport(const LinuxErrorReport&) = delete;
  LinuxErrorReport& operator=(const LinuxErrorReport&) = delete;

  // Boxes from now on wait until SetOwner(): one asked for meanwhile opens
  // then, as the panel's own.
  void AwaitOwner() { awaitOwner_ = true; }
  // The panel's X window (0: none), which its boxes belong to and keep clear of.
  void SetOwner(unsigned long window);

  // Opens a box unless one is open already or a box failed a moment ago.
  // Where no box can be started the text goes to stderr.
  void ReportError(std::string_view text) override;
  // Notices that the box was closed; cheap, called every loop turn.
  void Reap();
  // Readable (at its end) once the box process has gone; -1 with no box.
  int BoxFd() const { return channel_; }
  pid_t BoxPid() const { return box_; }
  bool BoxOpen() const { return gate_.IsOpen(); }

 private:
  void Start(std::string_view text);
  void Ended(int status);
  void Stop();
  void BackOff();

  std::string title_, program_;
  bool awaitOwner_ = false;
  unsigned long owner_ = 0;
  std::string pending_;  // the box asked for before its owner was known
  bool hasPending_ = false;
  ErrorBoxGate gate_;
  pid_t box_ = -1;
  int channel_ = -1;  // the panel's end of the box's standard input
  std::chrono::milliseconds firstQuiet_, quiet_{0};
  std::chrono::steady_clock::time_point quietUntil_{};
};

// Entry of the box's own process: argv = {program, kErrorBoxArgument}, the
// message on standard input. Returns the exit code.
int RunErrorBox(int argc, char** argv);

// Shows a box in this process and waits until it is closed (for failures at
// start, after which the program ends anyway). False when no box could be
// shown; the text then goes to stderr.
bool ShowBlockingBox(const std::string& title, const std::string& text);

}  // namespace zq

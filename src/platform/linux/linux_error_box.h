// The error report: a modal message box with the program title, shown by a
// copy of this program started for that box alone, so that the panel's
// ticks go on while the box is open. One box at a time.
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>

#include "app/error_report.h"
#include "app/tick_driver.h"

namespace zq {

// The hidden first argument that makes this program show one box and end.
constexpr std::string_view kErrorBoxArgument = "--zq-error-box";

// The message as the box shows it, in UTF-8: text that already is valid
// UTF-8 (a Setup.ini written on Linux) stays as it is, other text is read
// as Latin-1; a CR LF pair becomes one line break.
std::string BoxText(std::string_view message);

// The executable's path: /proc/self/exe, else argv[0].
std::string ExecutablePath(const char* argv0);

class LinuxErrorReport : public ErrorReport {
 public:
  explicit LinuxErrorReport(std::string title) : title_(std::move(title)) {}
  ~LinuxErrorReport() override;
  LinuxErrorReport(const LinuxErrorReport&) = delete;
  LinuxErrorReport& operator=(const LinuxErrorReport&) = delete;

  // Opens a box unless one is open already. Where no box can be started the
  // text goes to stderr.
  void ReportError(std::string_view text) override;
  // Notices that the box was closed; cheap, called every loop turn.
  void Reap();
  bool BoxOpen() const { return gate_.IsOpen(); }

 private:
  std::string title_;
  ErrorBoxGate gate_;
  pid_t box_ = -1;
};

// Entry of the box's own process: argv = {program, kErrorBoxArgument,
// parent pid, title, text}. Returns the exit code.
int RunErrorBox(int argc, char** argv);

// Shows a box in this process and waits until it is closed (for failures at
// start, after which the program ends anyway). False when no box could be
// shown.
bool ShowBlockingBox(const std::string& title, const std::string& text);

}  // namespace zq

// The error report as message boxes.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "app/error_report.h"
#include "app/form_shell.h"

namespace zq {

// The executable's full path (GetModuleFileNameA, any length).
std::string ExecutablePath();

// Errors that escape a handler: a stop box captioned with the program title.
// The box runs its own message loop, so ticks go on underneath it; while one
// box is open, further errors are not stacked on top of it.
class Win32ErrorReport : public ErrorReport {
 public:
  explicit Win32ErrorReport(std::string title) : title_(std::move(title)) {}
  // The panel: an owned box stays above the top-most panel and the game.
  void SetOwner(HWND owner) { owner_ = owner; }
  void ReportError(std::string_view text) override;

 private:
  std::string title_;
  HWND owner_ = nullptr;
  ErrorBoxGate gate_;
};

// Why the main window could not be made; shown by ShowApplicationError.
struct StartupFailure {
  std::string kind;
  std::string message;
  uintptr_t address = 0;  // where in this program's image it failed
};

// Offset of `code` from the start of the program's image.
uintptr_t ImageOffset(const void* code);

// The task-modal "Application Error" box, without owner.
void ShowApplicationError(const StartupFailure& failure);

// The system's text for an error code, without the trailing line end.
std::string SystemErrorText(DWORD code);

}  // namespace zq

// Text for a player where a GUI program can put it: the report lines go to
// the debugger's output (DebugView, a debugger) and to stderr when stderr is
// a file or a pipe; --help and --version also find a console or a box.
#pragma once

#include <windows.h>

#include <string>

#include "app/run_report.h"

namespace zq {

// True when `handle` is a file or a pipe (not a console, not nothing).
inline bool IsFileOrPipe(HANDLE handle) {
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return false;
  DWORD type = GetFileType(handle);
  return type == FILE_TYPE_DISK || type == FILE_TYPE_PIPE;
}

inline void WriteAll(HANDLE handle, const std::string& text) {
  DWORD written = 0;
  WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

class DebugStringLines : public ReportLines {
 public:
  explicit DebugStringLines(std::string title) : title_(std::move(title)) {}
  void Line(std::string_view text) override {
    std::string line = title_ + ": " + std::string(text) + "\n";
    OutputDebugStringA(line.c_str());
    HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    if (IsFileOrPipe(err)) WriteAll(err, line);
  }

 private:
  std::string title_;
};

// --help, --version and a wrong argument: to stdout or stderr when that is a
// file or a pipe, else to the console the program was started from, else
// in a message box (a shortcut has neither).
inline void ShowText(const std::string& title, const std::string& text, bool error) {
  HANDLE handle = GetStdHandle(error ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
  if (IsFileOrPipe(handle)) {
    WriteAll(handle, text);
    return;
  }
  if (AttachConsole(ATTACH_PARENT_PROCESS)) {
    HANDLE console = CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, 0, nullptr);
    if (console != INVALID_HANDLE_VALUE) {
      WriteAll(console, "\n" + text);
      CloseHandle(console);
      FreeConsole();
      return;
    }
    FreeConsole();
  }
  MessageBoxA(nullptr, text.c_str(), title.c_str(),
              MB_OK | (error ? MB_ICONERROR : MB_ICONINFORMATION));
}

}  // namespace zq

#include "platform/win32/win32_error_box.h"

#include <vector>

namespace zq {

std::string ExecutablePath() {
  std::vector<char> path(MAX_PATH);
  for (;;) {
    DWORD n = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return std::string();
    if (n < path.size()) return std::string(path.data(), n);
    if (path.size() >= 32768) return std::string(path.data(), n);
    path.resize(path.size() * 2);
  }
}

void Win32ErrorReport::ReportError(std::string_view text) {
  if (!gate_.TryOpen()) return;
  std::string message(text);
  MessageBoxA(owner_, message.c_str(), title_.c_str(), MB_OK | MB_ICONSTOP);
  gate_.Close();
}

uintptr_t ImageOffset(const void* code) {
  return reinterpret_cast<uintptr_t>(code) - reinterpret_cast<uintptr_t>(GetModuleHandleA(nullptr));
}

void ShowApplicationError(const StartupFailure& failure) {
  std::string text =
      ApplicationErrorText(failure.kind, ExecutablePath(), failure.address, failure.message);
  MessageBoxA(nullptr, text.c_str(), "Application Error", MB_OK | MB_ICONSTOP | MB_TASKMODAL);
}

std::string SystemErrorText(DWORD code) {
  char* buffer = nullptr;
  DWORD n = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
  std::string text(buffer != nullptr ? buffer : "", n);
  if (buffer != nullptr) LocalFree(buffer);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
    text.pop_back();
  }
  return text;
}

}  // namespace zq

// The panel started and closed from the configurator: CreateProcessW with
// quoted arguments, no console and no inherited handle; the running panel is
// its window (class and title of the panel's design) in this session, run
// by this user, and is closed with WM_CLOSE, as the task bar's Close does.
#include <windows.h>

#include <string>
#include <vector>

#include "app/form_design.h"
#include "platform/panel_process.h"
#include "platform/win32/win32_ansi.h"

namespace zq {
namespace {

constexpr wchar_t kPanelFile[] = L"zq-thrust.exe";
constexpr wchar_t kPanelClass[] = L"TForm1";

// One argument as CommandLineToArgvW reads it back: quotes around, a quote
// escaped, and the backslashes before a quote (or before the closing one)
// doubled.
void AppendQuoted(std::wstring& line, const std::wstring& arg) {
  line += L'"';
  size_t slashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++slashes;
      continue;
    }
    line.append(c == L'"' ? slashes * 2 + 1 : slashes, L'\\');
    slashes = 0;
    line += c;
  }
  line.append(slashes * 2, L'\\');
  line += L'"';
}

struct HandleOf {
  HANDLE h = nullptr;
  ~HandleOf() {
    if (h != nullptr) CloseHandle(h);
  }
};

// The user of a process, compared with ours; false when it cannot be asked
// (another user's process mostly cannot): then it is not ours to close.
bool SameUser(DWORD pid) {
  HandleOf process{OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid)};
  HandleOf theirs, ours;
  if (process.h == nullptr || !OpenProcessToken(process.h, TOKEN_QUERY, &theirs.h) ||
      !OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &ours.h))
    return false;
  auto user = [](HANDLE token, std::vector<BYTE>& buffer) -> PSID {
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    if (size == 0) return nullptr;
    buffer.resize(size);
    if (!GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) return nullptr;
    return reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
  };
  std::vector<BYTE> a, b;
  PSID sa = user(theirs.h, a), sb = user(ours.h, b);
  return sa != nullptr && sb != nullptr && EqualSid(sa, sb);
}

struct Found {
  HWND window = nullptr;
  DWORD pid = 0;
};

// The panel's window on this desktop (this session's), run by this user.
Found FindOurWindow() {
  Found found;
  std::wstring title;
  for (char c : kWindowTitle) title += static_cast<wchar_t>(c);
  HWND w = nullptr;
  while ((w = FindWindowExW(nullptr, w, kPanelClass, title.c_str())) != nullptr) {
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    if (pid != 0 && SameUser(pid)) {
      found.window = w;
      found.pid = pid;
      return found;
    }
  }
  return found;
}

}  // namespace

std::string PanelExecutable() {
  std::wstring self(MAX_PATH, L'\0');
  DWORD n = 0;
  while ((n = GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size()))) ==
         self.size()) {
    self.resize(self.size() * 2);
  }
  if (n == 0) return "";
  self.resize(n);
  size_t slash = self.find_last_of(L"\\/");
  std::wstring beside =
      (slash == std::wstring::npos ? L"" : self.substr(0, slash + 1)) + kPanelFile;
  DWORD attributes = GetFileAttributesW(beside.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    return "";
  return Narrow(beside);
}

std::string PanelSetupFile(const std::string& path) {
  std::wstring w = Wide(path);
  DWORD n = GetFullPathNameW(w.c_str(), 0, nullptr, nullptr);
  if (n == 0) return path;
  std::wstring full(n, L'\0');
  n = GetFullPathNameW(w.c_str(), n, full.data(), nullptr);
  full.resize(n);
  return Narrow(full);
}

PanelStart StartPanel(const std::string& executable, const std::string& setupFile) {
  PanelStart out;
  const std::wstring program = Wide(executable), file = Wide(setupFile);
  std::wstring folder = file.substr(0, file.find_last_of(L"\\/") + 1);
  std::wstring line;
  AppendQuoted(line, program);
  line += L" --setup ";
  AppendQuoted(line, file);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  // No handle of the configurator's (its server socket least of all), no
  // console, a process group of its own: the panel lives on without it.
  if (!CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE,
                      DETACHED_PROCESS | CREATE_NEW_PROCESS_GROUP, nullptr,
                      folder.empty() ? nullptr : folder.c_str(), &startup, &info)) {
    DWORD code = GetLastError();
    wchar_t* text = nullptr;
    FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    std::wstring why = text != nullptr ? text : L"";
    if (text != nullptr) LocalFree(text);
    while (!why.empty() && (why.back() == L'\n' || why.back() == L'\r' || why.back() == L'.'))
      why.pop_back();
    out.problem = "cannot start " + executable + ": " +
                  (why.empty() ? "error " + std::to_string(code) : Narrow(why));
    return out;
  }
  CloseHandle(info.hThread);
  // A panel that cannot run ends at once: said, rather than reported as started.
  DWORD code = 0;
  bool ended = WaitForSingleObject(info.hProcess, 600) == WAIT_OBJECT_0 &&
               GetExitCodeProcess(info.hProcess, &code);
  CloseHandle(info.hProcess);
  if (ended) {
    out.problem = executable + " ended at once (exit status " + std::to_string(code) +
                  "): run it with --setup and the file to see why";
    return out;
  }
  out.started = true;
  out.pid = static_cast<long>(info.dwProcessId);
  return out;
}

RunningPanel FindPanel() {
  RunningPanel panel;
  Found found = FindOurWindow();
  if (found.window == nullptr) return panel;
  panel.running = true;
  panel.pid = static_cast<long>(found.pid);
  panel.answers = true;  // every panel's window takes WM_CLOSE
  return panel;
}

PanelClose ClosePanel(int waitMs) {
  Found found = FindOurWindow();
  if (found.window == nullptr) return PanelClose::none;
  HandleOf process{OpenProcess(SYNCHRONIZE, FALSE, found.pid)};
  if (!PostMessageW(found.window, WM_CLOSE, 0, 0)) return PanelClose::refused;
  // Gone once the process has ended: then the system has released its mutex
  // and a new panel can start.
  if (process.h != nullptr)
    return WaitForSingleObject(process.h, static_cast<DWORD>(waitMs)) == WAIT_OBJECT_0
               ? PanelClose::closed
               : PanelClose::stillRunning;
  for (int waited = 0; IsWindow(found.window); waited += 20) {
    if (waited >= waitMs) return PanelClose::stillRunning;
    Sleep(20);
  }
  return PanelClose::closed;
}

}  // namespace zq

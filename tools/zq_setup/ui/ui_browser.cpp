// Opening the first address in the player's default browser.
#include "zq_setup/ui/ui_server.h"

#ifdef _WIN32
#include <windows.h>
// after windows.h
#include <shellapi.h>
#else
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cstdio>
#include <thread>
extern char** environ;
#endif

namespace zq::setup::ui {

const char* const kNoBrowser = "zq-setup: no browser could be opened: open the address above\n";

bool OpenInBrowser(const std::string& address) {
#ifdef _WIN32
  std::wstring wide(address.begin(), address.end());  // the address is ASCII
  auto r = reinterpret_cast<INT_PTR>(
      ShellExecuteW(nullptr, L"open", wide.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
  return r > 32;
#else
  // xdg-open's own chatter stays off the terminal that shows the address.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::string program = "xdg-open";
  char* argv[] = {program.data(), const_cast<char*>(address.c_str()), nullptr};
  pid_t pid = 0;
  int rc = posix_spawnp(&pid, "xdg-open", &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return false;
  // xdg-open may run the browser itself and last as long as it does: the
  // page must be served meanwhile, so its end is awaited aside.
  std::thread([pid] {
    int status = 0;
    if (waitpid(pid, &status, 0) == pid && !(WIFEXITED(status) && WEXITSTATUS(status) == 0))
      std::fputs(kNoBrowser, stderr);
  }).detach();
  return true;
#endif
}

}  // namespace zq::setup::ui

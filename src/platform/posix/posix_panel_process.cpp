// The panel started and closed from the configurator: posix_spawn into a
// session of its own, and the panel's instance name as the one way to reach
// the player's running panel (never another user's: the kernel names the
// holder of every name, and the holder checks who asks).
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/panel_process.h"
#include "platform/posix/posix_panel_channel.h"

extern char** environ;

namespace zq {
namespace {

constexpr char kPanelName[] = "zq-thrust";
constexpr int kAnswerMs = 2000;
constexpr int kStartSettleMs = 600;

bool Executable(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// A connection to this user's panel, or -1 when none runs. `pid` is the
// holder's, from the kernel.
int ConnectToOurPanel(long& pid) {
  const std::string base = InstanceNameFor(::getuid(), std::getenv("DISPLAY"));
  for (int k = 1; k <= kInstanceNames; ++k) {
    sockaddr_un addr;
    socklen_t len = InstanceAddress(InstanceNameAt(base, k), addr);
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&addr), len) != 0) {
      // Nobody holds this name: a panel of ours would have taken it.
      ::close(fd);
      return -1;
    }
    ucred cred{};
    socklen_t credLen = sizeof cred;
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &credLen) == 0 && cred.uid == ::getuid()) {
      pid = cred.pid;
      return fd;
    }
    ::close(fd);  // another user's: its own panel, or a squatter
  }
  return -1;
}

// Sends `request` and reads everything the panel writes before it closes.
std::string Ask(int fd, std::string_view request) {
  timeval limit{kAnswerMs / 1000, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
  if (::send(fd, request.data(), request.size(), MSG_NOSIGNAL) !=
      static_cast<ssize_t>(request.size()))
    return "";
  std::string answer;
  char chunk[512];
  while (answer.size() < 64 * 1024) {
    ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    answer.append(chunk, static_cast<size_t>(n));
  }
  return answer;
}

}  // namespace

std::string PanelExecutable() {
  std::error_code ec;
  std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    std::string beside = (self.parent_path() / kPanelName).string();
    if (Executable(beside)) return beside;
  }
  // Relative folders of PATH would make the working folder choose the program.
  const char* path = std::getenv("PATH");
  std::string_view rest = path != nullptr ? path : "";
  while (!rest.empty()) {
    size_t colon = rest.find(':');
    std::string_view dir = rest.substr(0, colon);
    rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
    if (dir.empty() || dir.front() != '/') continue;
    std::string candidate = std::string(dir) + "/" + kPanelName;
    if (Executable(candidate)) return candidate;
  }
  return "";
}

std::string PanelSetupFile(const std::string& path) {
  std::error_code ec;
  std::filesystem::path absolute = std::filesystem::absolute(path, ec);
  return ec ? path : absolute.lexically_normal().string();
}

PanelStart StartPanel(const std::string& executable, const std::string& setupFile) {
  PanelStart out;
  const std::string folder = std::filesystem::path(setupFile).parent_path().string();
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attr;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_init(&attr);
  // Nothing of the configurator's reaches the panel: no descriptor (its
  // server socket least of all), no blocked or ignored signal, no session:
  // the panel lives on when the configurator or its terminal ends.
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  sigdelset(&all, SIGKILL);
  sigdelset(&all, SIGSTOP);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &all);
  posix_spawnattr_setflags(&attr,
                           POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  std::vector<std::string> args{executable, "--setup", setupFile};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  int rc = posix_spawn(&pid, executable.c_str(), &actions, &attr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  if (rc != 0) {
    out.problem = "cannot start " + executable + ": " + std::strerror(rc);
    return out;
  }
  // A panel that cannot run (no display, a copy already running) ends at
  // once: said, rather than reported as started.
  for (int waited = 0; waited < kStartSettleMs; waited += 20) {
    int status = 0;
    if (::waitpid(pid, &status, WNOHANG) == pid) {
      out.problem = executable + " ended at once (" +
                    (WIFEXITED(status) ? "exit status " + std::to_string(WEXITSTATUS(status))
                                       : "signal " + std::to_string(WTERMSIG(status))) +
                    "): run it with --setup and the file in a terminal to see why";
      return out;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  // The panel is this process's child until one of them ends: its exit is
  // collected aside, so that no finished panel is left as a zombie.
  std::thread([pid] {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }).detach();
  out.started = true;
  out.pid = pid;
  return out;
}

RunningPanel FindPanel() {
  RunningPanel panel;
  int fd = ConnectToOurPanel(panel.pid);
  if (fd < 0) return panel;
  panel.running = true;
  panel.setupFile = Ask(fd, kAskSetupFile);
  // A panel from before these requests closes the connection unanswered.
  panel.answers = !panel.setupFile.empty();
  ::close(fd);
  return panel;
}

PanelClose ClosePanel(int waitMs) {
  long pid = 0;
  int fd = ConnectToOurPanel(pid);
  if (fd < 0) return PanelClose::none;
  std::string answer = Ask(fd, kAskClose);
  ::close(fd);
  if (answer != kClosing) return PanelClose::refused;
  // Gone once its name is free: then a new panel can take it.
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
  while (true) {
    long still = 0;
    int again = ConnectToOurPanel(still);
    if (again < 0) return PanelClose::closed;
    ::close(again);
    if (std::chrono::steady_clock::now() >= deadline) return PanelClose::stillRunning;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

}  // namespace zq

#include "platform/linux/linux_error_box.h"

#include <SDL.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <vector>

extern char** environ;

namespace zq {
namespace {

bool IsValidUtf8(std::string_view s) {
  size_t i = 0;
  while (i < s.size()) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    size_t len = c < 0x80           ? 1
                 : (c >> 5) == 0x6  ? 2
                 : (c >> 4) == 0xE  ? 3
                 : (c >> 3) == 0x1E ? 4
                                    : 0;
    if (len == 0 || i + len > s.size()) return false;
    uint32_t cp = len == 1 ? c : c & (0x7Fu >> len);
    for (size_t k = 1; k < len; ++k) {
      unsigned char d = static_cast<unsigned char>(s[i + k]);
      if ((d & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (d & 0x3F);
    }
    // No overlong forms, no surrogates, nothing beyond U+10FFFF.
    static constexpr uint32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += len;
  }
  return true;
}

}  // namespace

std::string BoxText(std::string_view message) {
  std::string text;
  text.reserve(message.size() * 2);
  bool utf8 = IsValidUtf8(message);
  for (size_t i = 0; i < message.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(message[i]);
    if (c == '\r' && i + 1 < message.size() && message[i + 1] == '\n') continue;
    if (c < 0x80 || utf8) {
      text.push_back(static_cast<char>(c));
    } else {
      text.push_back(static_cast<char>(0xC0 | (c >> 6)));
      text.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return text;
}

std::string ExecutablePath(const char* argv0) {
  char buf[4096];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n > 0) return std::string(buf, static_cast<size_t>(n));
  return argv0 != nullptr ? argv0 : "";
}

LinuxErrorReport::~LinuxErrorReport() {
  if (box_ > 0) {
    // The box belongs to this run: it goes when the panel goes.
    ::kill(box_, SIGTERM);
    ::waitpid(box_, nullptr, 0);
  }
}

void LinuxErrorReport::ReportError(std::string_view text) {
  Reap();
  // One box at a time: an error that comes while a box is open is not
  // stacked on top of it (the box already tells the player something is
  // wrong, and an error repeated every tick would bury the screen).
  if (!gate_.TryOpen()) return;
  std::string parent = std::to_string(::getpid());
  std::string message = BoxText(text);
  std::vector<char*> argv = {const_cast<char*>("zq-thrust"),
                             const_cast<char*>(kErrorBoxArgument.data()),
                             parent.data(),
                             title_.data(),
                             message.data(),
                             nullptr};
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  for (int s : {SIGTERM, SIGINT, SIGHUP, SIGPIPE}) sigaddset(&defaults, s);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &defaults);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  pid_t pid = -1;
  int rc = posix_spawn(&pid, "/proc/self/exe", nullptr, &attr, argv.data(), environ);
  posix_spawnattr_destroy(&attr);
  if (rc != 0) {
    std::fprintf(stderr, "%s: %s\n", title_.c_str(), message.c_str());
    gate_.Close();
    return;
  }
  box_ = pid;
}

void LinuxErrorReport::Reap() {
  if (box_ <= 0) return;
  int status = 0;
  pid_t r = ::waitpid(box_, &status, WNOHANG);
  if (r == 0) return;
  box_ = -1;
  gate_.Close();
}

int RunErrorBox(int argc, char** argv) {
  if (argc < 5) return 2;
  // Gone with the panel: a box left over from a killed run would be an
  // orphan telling about a program that no longer runs.
  ::prctl(PR_SET_PDEATHSIG, SIGTERM);
  if (std::to_string(::getppid()) != argv[2]) return 0;
  ::close_range(3, ~0u, 0);
  std::string title = argv[3], text = argv[4];
  return ShowBlockingBox(title, text) ? 0 : 1;
}

bool ShowBlockingBox(const std::string& title, const std::string& text) {
  if (SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, title.c_str(), text.c_str(), nullptr) != 0) {
    std::fprintf(stderr, "%s: %s\n", title.c_str(), text.c_str());
    return false;
  }
  return true;
}

}  // namespace zq

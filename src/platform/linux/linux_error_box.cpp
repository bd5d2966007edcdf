#include "platform/linux/linux_error_box.h"

#include <SDL.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <vector>

#include "config/ascii.h"
#include "platform/linux/error_box_window.h"

extern char** environ;

namespace zq {
namespace {

// Far more than any message (2200 bytes, twice that as UTF-8), and less
// than a socket's buffer holds: sending it never blocks the panel.
constexpr size_t kLongestBoxText = 16384;

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

// Reads exactly `size` bytes; false at end of file or on an error.
bool ReadAll(int fd, char* data, size_t size) {
  while (size > 0) {
    ssize_t n = ::read(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// The header line "<title bytes> <text bytes> <owner window>\n".
bool ReadHeader(int fd, size_t& titleSize, size_t& textSize, unsigned long& owner) {
  std::string line;
  char c = 0;
  while (line.size() < 64) {
    if (!ReadAll(fd, &c, 1)) return false;
    if (c == '\n') break;
    line.push_back(c);
  }
  unsigned long a = 0, b = 0;
  if (std::sscanf(line.c_str(), "%lu %lu %lu", &a, &b, &owner) != 3) return false;
  if (a > kLongestBoxText || b > kLongestBoxText) return false;
  titleSize = a;
  textSize = b;
  return true;
}

void PrintUnshown(const std::string& title, const std::string& text, const std::string& why) {
  std::fprintf(stderr, "%s: %s\n%s: no error box could be shown: %s\n", title.c_str(), text.c_str(),
               title.c_str(), why.c_str());
}

}  // namespace

std::string BoxText(std::string_view message) {
  std::string text;
  text.reserve(message.size() * 2);
  bool utf8 = IsValidUtf8(message);
  for (size_t i = 0; i < message.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(message[i]);
    if (c == '\r' && i + 1 < message.size() && message[i + 1] == '\n') continue;
    if (c == '\n') {
      text.push_back('\n');
    } else if (IsControlByte(c)) {
      text.push_back('?');  // keeps the rest of the text: nothing is cut at a NUL
    } else if (c < 0x80 || utf8) {
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

LinuxErrorReport::LinuxErrorReport(std::string title, std::string program,
                                   std::chrono::milliseconds quiet)
    : title_(std::move(title)), program_(std::move(program)), firstQuiet_(quiet) {}

LinuxErrorReport::~LinuxErrorReport() {
  // The box belongs to this run: it goes when the panel goes.
  Stop();
}

void LinuxErrorReport::Stop() {
  if (channel_ >= 0) ::close(channel_);
  channel_ = -1;
  if (box_ > 0) {
    ::kill(box_, SIGKILL);
    ::waitpid(box_, nullptr, 0);
  }
  box_ = -1;
  gate_.Close();
}

void LinuxErrorReport::ReportError(std::string_view text) {
  Reap();
  // One box at a time: an error that comes while a box is open is not
  // stacked on top of it (the box already tells the player something is
  // wrong, and an error repeated every tick would bury the screen). After a
  // box that could not be shown, none is tried for a while: the failure was
  // reported, and a new process every tick would only repeat it.
  if (gate_.IsOpen() || std::chrono::steady_clock::now() < quietUntil_) return;
  gate_.TryOpen();
  if (awaitOwner_) {
    pending_ = std::string(text);
    hasPending_ = true;
    return;
  }
  Start(text);
}

void LinuxErrorReport::SetOwner(unsigned long window) {
  owner_ = window;
  awaitOwner_ = false;
  if (!hasPending_) return;
  hasPending_ = false;
  Start(pending_);
  pending_.clear();
}

void LinuxErrorReport::Start(std::string_view text) {
  std::string message = BoxText(text);
  if (message.size() > kLongestBoxText) message.resize(kLongestBoxText);
  // A socket, not a pipe: a box that died at once must not take the panel
  // with it through SIGPIPE (send has MSG_NOSIGNAL, write nothing alike).
  int fds[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) {
    std::fprintf(stderr, "%s: %s\n", title_.c_str(), message.c_str());
    gate_.Close();
    return;
  }
  std::vector<char*> argv = {const_cast<char*>("zq-thrust"),
                             const_cast<char*>(kErrorBoxArgument.data()), nullptr};
  posix_spawn_file_actions_t files;
  posix_spawn_file_actions_init(&files);
  posix_spawn_file_actions_adddup2(&files, fds[0], 0);
  // Nothing else of the panel's: not its X connection, not its instance name.
  posix_spawn_file_actions_addclosefrom_np(&files, 3);
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
  int rc = posix_spawn(&pid, program_.c_str(), &files, &attr, argv.data(), environ);
  posix_spawnattr_destroy(&attr);
  posix_spawn_file_actions_destroy(&files);
  ::close(fds[0]);
  if (rc != 0) {
    ::close(fds[1]);
    std::fprintf(stderr, "%s: %s\n", title_.c_str(), message.c_str());
    gate_.Close();
    return;
  }
  box_ = pid;
  channel_ = fds[1];
  // The whole message fits the socket's buffer; a box that does not take it
  // is ended.
  std::string packet = std::to_string(title_.size()) + " " + std::to_string(message.size()) + " " +
                       std::to_string(owner_) + "\n" + title_ + message;
  if (::send(channel_, packet.data(), packet.size(), MSG_NOSIGNAL | MSG_DONTWAIT) !=
      static_cast<ssize_t>(packet.size())) {
    std::fprintf(stderr, "%s: %s\n", title_.c_str(), message.c_str());
    Stop();
    BackOff();
  }
}

void LinuxErrorReport::Reap() {
  if (box_ <= 0) return;
  int status = 0;
  pid_t r = ::waitpid(box_, &status, WNOHANG);
  if (r == 0) return;
  box_ = -1;
  if (channel_ >= 0) ::close(channel_);
  channel_ = -1;
  gate_.Close();
  Ended(status);
}

void LinuxErrorReport::Ended(int status) {
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
    quiet_ = std::chrono::milliseconds{0};
    return;
  }
  // The box process reported its failure itself.
  BackOff();
}

void LinuxErrorReport::BackOff() {
  quiet_ = quiet_.count() == 0 ? firstQuiet_ : std::min(quiet_ * 2, kLongestQuiet);
  quietUntil_ = std::chrono::steady_clock::now() + quiet_;
}

int RunErrorBox(int argc, char** /*argv*/) {
  if (argc < 2) return 2;
  // Gone with the panel, even one killed outright; a panel that was gone
  // before this line shows as the end of the socket.
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  size_t titleSize = 0, textSize = 0;
  unsigned long owner = 0;
  if (!ReadHeader(0, titleSize, textSize, owner)) return 0;
  std::string title(titleSize, '\0'), text(textSize, '\0');
  if (!ReadAll(0, title.data(), titleSize) || !ReadAll(0, text.data(), textSize)) return 0;
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  std::string why;
  BoxEnd end = ShowBoxWindow(title, text, 0, owner, why);
  SDL_Quit();
  if (end != BoxEnd::failed) return 0;
  PrintUnshown(title, text, why);
  return kBoxFailedExit;
}

bool ShowBlockingBox(const std::string& title, const std::string& text) {
  std::string why;
  if (ShowBoxWindow(title, text, -1, 0, why) == BoxEnd::failed) {
    PrintUnshown(title, text, why);
    return false;
  }
  return true;
}

}  // namespace zq

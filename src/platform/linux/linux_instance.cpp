#include "platform/linux/linux_instance.h"

#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdlib>
#include <cstring>

namespace zq {
namespace {

constexpr int kNames = 8;  // NAME, NAME#2 .. NAME#8

socklen_t Address(const std::string& name, sockaddr_un& addr) {
  addr = sockaddr_un{};
  addr.sun_family = AF_UNIX;
  // sun_path[0] stays '\0': the abstract namespace, no file on disk.
  std::memcpy(addr.sun_path + 1, name.data(), name.size());
  return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
}

// Whose is the socket bound to `name`: its owner's uid from the kernel
// (SO_PEERCRED of a connection), or -1 when it accepts none.
long HolderUid(const sockaddr_un& addr, socklen_t len) {
  // A copy of ours that has just bound the name listens an instant later:
  // give it a few milliseconds before calling the name someone else's.
  for (int attempt = 0; attempt < 20; ++attempt) {
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return -1;
    int rc = ::connect(fd, reinterpret_cast<const sockaddr*>(&addr), len);
    int e = errno;
    ucred cred{};
    socklen_t credLen = sizeof cred;
    bool known = rc == 0 && ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &credLen) == 0;
    ::close(fd);
    if (known) return static_cast<long>(cred.uid);
    if (rc != 0 && e != ECONNREFUSED && e != EAGAIN) return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return -1;
}

}  // namespace

std::string InstanceNameFor(uid_t uid, const char* display) {
  std::string name = std::string(kInstanceName) + "/" + std::to_string(uid);
  if (display == nullptr || *display == '\0') return name;
  std::string_view d = display;
  size_t colon = d.rfind(':');
  std::string_view host = colon == std::string_view::npos ? std::string_view() : d.substr(0, colon);
  std::string_view number = colon == std::string_view::npos ? d : d.substr(colon + 1);
  if (host == "unix") host = {};
  size_t dot = number.find('.');
  if (dot != std::string_view::npos) number = number.substr(0, dot);
  name += "/" + std::string(host) + ":" + std::string(number);
  // room for "#8" in sun_path
  constexpr size_t kMax = sizeof(sockaddr_un{}.sun_path) - 4;
  if (name.size() > kMax) name.resize(kMax);
  return name;
}

InstanceGuard::~InstanceGuard() {
  if (server_.joinable()) {
    uint64_t one = 1;
    (void)!::write(stop_, &one, sizeof one);
    server_.join();
  }
  if (stop_ >= 0) ::close(stop_);
  if (fd_ >= 0) ::close(fd_);
}

InstanceGuard::Result InstanceGuard::Acquire() {
  return Acquire(InstanceNameFor(::getuid(), std::getenv("DISPLAY")));
}

InstanceGuard::Result InstanceGuard::Acquire(std::string_view name) {
  for (int k = 1; k <= kNames; ++k) {
    std::string n(name);
    if (k > 1) n += "#" + std::to_string(k);
    if (n.size() + 1 > sizeof(sockaddr_un{}.sun_path)) return Result::unavailable;
    switch (TryName(n)) {
      case Try::taken:
        return Result::acquired;
      case Try::ours:
        return Result::otherCopyRuns;
      case Try::noSocket:
        return Result::unavailable;
      case Try::others:
        break;
    }
  }
  return Result::unavailable;
}

InstanceGuard::Try InstanceGuard::TryName(const std::string& name) {
  sockaddr_un addr;
  socklen_t len = Address(name, addr);
  // Close on exec, so that the error box's process never holds the name.
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return Try::noSocket;
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&addr), len) != 0) {
    int e = errno;
    ::close(fd);
    if (e != EADDRINUSE) return Try::noSocket;
    return HolderUid(addr, len) == static_cast<long>(::getuid()) ? Try::ours : Try::others;
  }
  // Listening lets a later copy ask the kernel who holds the name.
  int stop = ::eventfd(0, EFD_CLOEXEC);
  if (stop < 0 || ::listen(fd, 16) != 0) {
    if (stop >= 0) ::close(stop);
    ::close(fd);
    return Try::noSocket;
  }
  fd_ = fd;
  stop_ = stop;
  // The server thread takes no signal: they stay with the main thread.
  sigset_t all, old;
  sigfillset(&all);
  ::pthread_sigmask(SIG_SETMASK, &all, &old);
  server_ = std::thread([this] { Serve(); });
  ::pthread_sigmask(SIG_SETMASK, &old, nullptr);
  return Try::taken;
}

// Answers the connections of later copies (their question is answered by the
// connection itself) until the guard goes.
void InstanceGuard::Serve() {
  while (true) {
    pollfd fds[2] = {{fd_, POLLIN, 0}, {stop_, POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[1].revents != 0) return;
    int c = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (c >= 0) ::close(c);
  }
}

}  // namespace zq

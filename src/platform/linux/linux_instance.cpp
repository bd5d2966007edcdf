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
#include <string>

namespace zq {
namespace {

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

InstanceGuard::~InstanceGuard() {
  if (server_.joinable()) {
    uint64_t one = 1;
    (void)!::write(stop_, &one, sizeof one);
    server_.join();
  }
  if (stop_ >= 0) ::close(stop_);
  if (close_ >= 0) ::close(close_);
  if (fd_ >= 0) ::close(fd_);
}

InstanceGuard::Result InstanceGuard::Acquire() {
  return Acquire(InstanceNameFor(::getuid(), std::getenv("DISPLAY")));
}

InstanceGuard::Result InstanceGuard::Acquire(std::string_view name) {
  for (int k = 1; k <= kInstanceNames; ++k) {
    std::string n = InstanceNameAt(name, k);
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
  socklen_t len = InstanceAddress(name, addr);
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
  int closeAsked = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (stop < 0 || closeAsked < 0 || ::listen(fd, 16) != 0) {
    if (stop >= 0) ::close(stop);
    if (closeAsked >= 0) ::close(closeAsked);
    ::close(fd);
    return Try::noSocket;
  }
  fd_ = fd;
  stop_ = stop;
  close_ = closeAsked;
  // The server thread takes no signal: they stay with the main thread.
  sigset_t all, old;
  sigfillset(&all);
  ::pthread_sigmask(SIG_SETMASK, &all, &old);
  server_ = std::thread([this] { Serve(); });
  ::pthread_sigmask(SIG_SETMASK, &old, nullptr);
  return Try::taken;
}

void InstanceGuard::TellSetupFile(std::string path) {
  std::lock_guard<std::mutex> lock(setupFileLock_);
  setupFile_ = std::move(path);
}

bool InstanceGuard::TakeCloseRequest() {
  uint64_t count = 0;
  return close_ >= 0 && ::read(close_, &count, sizeof count) == sizeof count && count > 0;
}

// One request of this user's configurator. Anyone else's connection, and a
// later copy's (which asks nothing: the connection itself is its answer),
// is closed unanswered.
void InstanceGuard::Answer(int c) {
  ucred cred{};
  socklen_t credLen = sizeof cred;
  if (::getsockopt(c, SOL_SOCKET, SO_PEERCRED, &cred, &credLen) != 0 || cred.uid != ::getuid())
    return;
  // A request is one short line, sent at once: a client that sends nothing
  // holds the guard's thread up for half a second at most.
  char line[32];
  size_t got = 0;
  while (got < sizeof line && (got == 0 || line[got - 1] != '\n')) {
    pollfd p{c, POLLIN, 0};
    if (::poll(&p, 1, 500) <= 0) return;
    ssize_t n = ::recv(c, line + got, sizeof line - got, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    got += static_cast<size_t>(n);
  }
  std::string_view request(line, got);
  std::string reply;
  if (request == kAskSetupFile) {
    std::lock_guard<std::mutex> lock(setupFileLock_);
    reply = setupFile_;
  } else if (request == kAskClose) {
    reply = kClosing;
    uint64_t one = 1;
    (void)!::write(close_, &one, sizeof one);
  } else {
    return;
  }
  size_t done = 0;
  while (done < reply.size()) {
    ssize_t n = ::send(c, reply.data() + done, reply.size() - done, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

// Answers the connections of later copies and of this user's configurator
// until the guard goes.
void InstanceGuard::Serve() {
  while (true) {
    pollfd fds[2] = {{fd_, POLLIN, 0}, {stop_, POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[1].revents != 0) return;
    int c = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (c >= 0) {
      Answer(c);
      ::close(c);
    }
  }
}

}  // namespace zq

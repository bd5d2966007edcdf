#include "platform/linux/linux_instance.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstring>

namespace zq {

InstanceGuard::~InstanceGuard() {
  if (fd_ >= 0) ::close(fd_);
}

InstanceGuard::Result InstanceGuard::Acquire(std::string_view name) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (name.size() + 1 > sizeof addr.sun_path) return Result::unavailable;
  // sun_path[0] stays '\0': the abstract namespace, no file on disk. Close
  // on exec, so that the error box's process never holds the name.
  std::memcpy(addr.sun_path + 1, name.data(), name.size());
  int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return Result::unavailable;
  socklen_t len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&addr), len) != 0) {
    int e = errno;
    ::close(fd);
    return e == EADDRINUSE ? Result::otherCopyRuns : Result::unavailable;
  }
  fd_ = fd;
  return Result::acquired;
}

}  // namespace zq

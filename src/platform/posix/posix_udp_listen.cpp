#include "platform/posix/posix_udp_listen.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace zq {

PosixUdpListener::~PosixUdpListener() {
  if (fd_ >= 0) close(fd_);
}

int PosixUdpListener::Open(uint16_t port) {
  fd_ = socket(AF_INET, SOCK_DGRAM, 0);
  if (fd_ < 0) return errno;
  // No SO_REUSEADDR: a simulator already on the port must make this fail
  // rather than share its messages.
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (bind(fd_, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
    int e = errno;
    close(fd_);
    fd_ = -1;
    return e;
  }
  socklen_t size = sizeof addr;
  if (getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &size) == 0)
    port_ = ntohs(addr.sin_port);
  return 0;
}

PosixUdpListener::Wait PosixUdpListener::Receive(std::string& data, int timeoutMs, int wakeFd,
                                                 int& errorNumber) {
  pollfd fds[2] = {{fd_, POLLIN, 0}, {wakeFd, POLLIN, 0}};
  int ready = poll(fds, wakeFd >= 0 ? 2 : 1, timeoutMs);
  if (ready < 0) {
    if (errno == EINTR) return Wait::woken;  // a signal: the caller looks at why
    errorNumber = errno;
    return Wait::failed;
  }
  if (ready == 0) return Wait::timeout;
  if (wakeFd >= 0 && (fds[1].revents & POLLIN) != 0) return Wait::woken;
  // 65535 holds the largest UDP payload, so nothing is ever cut
  data.resize(65535);
  ssize_t n = recv(fd_, data.data(), data.size(), 0);
  if (n < 0) {
    if (errno == EINTR || errno == EAGAIN) {
      data.clear();
      return Wait::woken;
    }
    errorNumber = errno;
    return Wait::failed;
  }
  data.resize(static_cast<size_t>(n));
  return Wait::datagram;
}

std::unique_ptr<DatagramListener> MakeDatagramListener() {
  return std::make_unique<PosixUdpListener>();
}

bool IsAccessDenied(int code) {
  return code == EACCES;
}

bool IsAddressInUse(int code) {
  return code == EADDRINUSE;
}

std::string ListenErrorText(int code) {
  return std::strerror(code);
}

std::tm LocalTime(std::time_t t) {
  std::tm local{};
  localtime_r(&t, &local);
  return local;
}

}  // namespace zq

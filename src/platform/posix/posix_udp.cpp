#include "platform/posix/posix_udp.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "platform/platform.h"

namespace zq {

int32_t WinsockCodeOfErrno(int e) {
  switch (e) {
    case EINTR:
      return 10004;
    case EBADF:
      return 10009;
    case EACCES:
    case EPERM:
      return 10013;
    case EFAULT:
      return 10014;
    case EINVAL:
      return 10022;
    case EMFILE:
    case ENFILE:
      return 10024;
#if EAGAIN != EWOULDBLOCK
    case EAGAIN:
#endif
    case EWOULDBLOCK:
      return 10035;
    case EINPROGRESS:
      return 10036;
    case EALREADY:
      return 10037;
    case ENOTSOCK:
      return 10038;
    case EDESTADDRREQ:
      return 10039;
    case EMSGSIZE:
      return 10040;
    case EPROTOTYPE:
      return 10041;
    case ENOPROTOOPT:
      return 10042;
    case EPROTONOSUPPORT:
      return 10043;
    case ESOCKTNOSUPPORT:
      return 10044;
    case EOPNOTSUPP:
      return 10045;
    case EPFNOSUPPORT:
      return 10046;
    case EAFNOSUPPORT:
      return 10047;
    case EADDRINUSE:
      return 10048;
    case EADDRNOTAVAIL:
      return 10049;
    case ENETDOWN:
      return 10050;
    case ENETUNREACH:
      return 10051;
    case ENETRESET:
      return 10052;
    case ECONNABORTED:
      return 10053;
    case ECONNRESET:
      return 10054;
    case ENOBUFS:
    case ENOMEM:
      return 10055;
    case EISCONN:
      return 10056;
    case ENOTCONN:
      return 10057;
    case ESHUTDOWN:
      return 10058;
    case ETOOMANYREFS:
      return 10059;
    case ETIMEDOUT:
      return 10060;
    case ECONNREFUSED:
      return 10061;
    case ELOOP:
      return 10062;
    case ENAMETOOLONG:
      return 10063;
    case EHOSTDOWN:
      return 10064;
    case EHOSTUNREACH:
      return 10065;
    case ENOTEMPTY:
      return 10066;
    default:
      return e;
  }
}

std::unique_ptr<DatagramSender> MakeCommandSender() {
  return std::make_unique<PosixUdpSender>();
}

void UseBinaryStandardStreams() {}  // POSIX streams never translate

PosixUdpSender::~PosixUdpSender() {
  Close();
}

void PosixUdpSender::Close() {
  if (fd_ < 0) return;
  ::shutdown(fd_, SHUT_WR);
  ::close(fd_);
  fd_ = -1;
}

namespace {

// 127.0.0.1 at `port` (0: any port the system picks).
sockaddr_in Loopback(uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

}  // namespace

SendResult PosixUdpSender::Send(const char* data, size_t size) {
  if (fd_ < 0) {
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return {SendResult::Kind::noSocket, 0};
    fd_ = fd;
    int off = 0;
    if (::setsockopt(fd_, SOL_SOCKET, SO_BROADCAST, &off, sizeof off) != 0) {
      return {SendResult::Kind::optionFailed, WinsockCodeOfErrno(errno)};
    }
    // Reachable from this machine's loopback only, and never read: the
    // smallest receive buffer, so nobody can park datagrams in it.
    int smallest = 0;
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &smallest, sizeof smallest);
    const sockaddr_in local = Loopback(0);
    if (::bind(fd_, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
      SendResult failed{SendResult::Kind::sendFailed, WinsockCodeOfErrno(errno)};
      Close();  // the next send tries again rather than send from every address
      return failed;
    }
  }
  const sockaddr_in to = Loopback(port_);
  ssize_t n =
      ::sendto(fd_, data, size, MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&to), sizeof to);
  if (n < 0) return {SendResult::Kind::sendFailed, WinsockCodeOfErrno(errno)};
  if (static_cast<size_t>(n) != size) return {SendResult::Kind::shortSend, 0};
  return {};
}

}  // namespace zq

// POSIX datagram socket bound to 127.0.0.1, to watch the command messages
// the way the simulator receives them.
#pragma once

#include <cstdint>
#include <string>

namespace zq {

class PosixUdpListener {
 public:
  PosixUdpListener() = default;
  ~PosixUdpListener();
  PosixUdpListener(const PosixUdpListener&) = delete;
  PosixUdpListener& operator=(const PosixUdpListener&) = delete;

  // Binds 127.0.0.1:port (0 lets the system choose). Returns 0, or the errno
  // of the call that failed.
  int Open(uint16_t port);
  // The port actually bound.
  uint16_t Port() const { return port_; }

  enum class Wait { datagram, timeout, woken, failed };
  // Waits up to `timeoutMs` (-1: no limit) for one datagram, which lands in
  // `data`, or for `wakeFd` (-1: none) to become readable. On `failed`,
  // `errorNumber` holds the errno.
  Wait Receive(std::string& data, int timeoutMs, int wakeFd, int& errorNumber);

 private:
  int fd_ = -1;
  uint16_t port_ = 0;
};

}  // namespace zq

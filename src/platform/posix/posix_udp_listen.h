// POSIX datagram socket bound to 127.0.0.1 (the contract's DatagramListener).
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace zq {

class PosixUdpListener : public DatagramListener {
 public:
  PosixUdpListener() = default;
  ~PosixUdpListener() override;
  PosixUdpListener(const PosixUdpListener&) = delete;
  PosixUdpListener& operator=(const PosixUdpListener&) = delete;

  // Failures are errno values.
  int Open(uint16_t port) override;
  uint16_t Port() const override { return port_; }
  Wait Receive(std::string& data, int timeoutMs, int wakeFd, int& errorNumber) override;

 private:
  int fd_ = -1;
  uint16_t port_ = 0;
};

}  // namespace zq

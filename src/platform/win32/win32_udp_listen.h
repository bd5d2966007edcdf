// Winsock datagram socket bound to 127.0.0.1 (the contract's
// DatagramListener), so that zq-listen reads the same on Windows.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace zq {

class Win32UdpListener : public DatagramListener {
 public:
  Win32UdpListener() = default;
  ~Win32UdpListener() override;
  Win32UdpListener(const Win32UdpListener&) = delete;
  Win32UdpListener& operator=(const Win32UdpListener&) = delete;

  // Failures are Winsock error codes; `wakeFd` is the stop signal's socket.
  int Open(uint16_t port) override;
  uint16_t Port() const override { return port_; }
  Wait Receive(std::string& data, int timeoutMs, int wakeFd, int& errorNumber) override;

 private:
  uintptr_t socket_ = ~uintptr_t{0};  // INVALID_SOCKET
  bool started_ = false;              // WSAStartup succeeded
  uint16_t port_ = 0;
};

}  // namespace zq

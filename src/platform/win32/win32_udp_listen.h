// Winsock datagram socket bound to 127.0.0.1, to watch the command messages
// the way the simulator receives them. The same calls as PosixUdpListener,
// so that zq-listen reads the same on Windows.
#pragma once

#include <cstdint>
#include <string>

namespace zq {

class Win32UdpListener {
 public:
  Win32UdpListener() = default;
  ~Win32UdpListener();
  Win32UdpListener(const Win32UdpListener&) = delete;
  Win32UdpListener& operator=(const Win32UdpListener&) = delete;

  // Binds 127.0.0.1:port (0 lets the system choose). Returns 0, or the
  // Winsock error code of the call that failed.
  int Open(uint16_t port);
  // The port actually bound.
  uint16_t Port() const { return port_; }

  enum class Wait { datagram, timeout, woken, failed };
  // Waits up to `timeoutMs` (-1: no limit) for one datagram, which lands in
  // `data`, or for the socket `wakeFd` (-1: none) to become readable: the
  // stop signal's socket, a Windows handle, which fits in an int (handles are
  // shared with 32-bit processes, so only their low 32 bits count). On
  // `failed`, `errorNumber` holds the Winsock error code.
  Wait Receive(std::string& data, int timeoutMs, int wakeFd, int& errorNumber);

 private:
  uintptr_t socket_ = ~uintptr_t{0};  // INVALID_SOCKET
  bool started_ = false;              // WSAStartup succeeded
  uint16_t port_ = 0;
};

}  // namespace zq

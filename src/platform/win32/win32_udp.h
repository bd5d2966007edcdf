// Winsock datagram sender to 127.0.0.1:21100.
#pragma once

#include <cstdint>

#include "control/datagram_sender.h"

namespace zq {

// Winsock 2.2 for the run: started when the window is made, cleaned up at exit.
class WinsockSession {
 public:
  WinsockSession() = default;
  ~WinsockSession();
  WinsockSession(const WinsockSession&) = delete;
  WinsockSession& operator=(const WinsockSession&) = delete;
  // 0, or the error WSAStartup returned.
  int Start();

 private:
  bool started_ = false;
};

class Win32UdpSender : public DatagramSender {
 public:
  Win32UdpSender() = default;
  explicit Win32UdpSender(uint16_t port) : port_(port) {}
  ~Win32UdpSender() override;
  Win32UdpSender(const Win32UdpSender&) = delete;
  Win32UdpSender& operator=(const Win32UdpSender&) = delete;

  // The socket is made at the first send; failures carry WSAGetLastError.
  SendResult Send(const char* data, size_t size) override;
  // Shuts the sending side down and closes the socket (also on destruction).
  void Close();

 private:
  uintptr_t socket_ = ~uintptr_t{0};  // INVALID_SOCKET
  uint16_t port_ = kCommandPort;
};

}  // namespace zq

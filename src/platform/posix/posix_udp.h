// POSIX datagram sender to 127.0.0.1:21100, with failures reported in the
// Winsock numbers of the command-message error table.
#pragma once

#include <cstdint>

#include "control/datagram_sender.h"

namespace zq {

class PosixUdpSender : public DatagramSender {
 public:
  PosixUdpSender() = default;
  explicit PosixUdpSender(uint16_t port) : port_(port) {}
  ~PosixUdpSender() override;
  PosixUdpSender(const PosixUdpSender&) = delete;
  PosixUdpSender& operator=(const PosixUdpSender&) = delete;

  SendResult Send(const char* data, size_t size) override;
  // Shuts the sending side down and closes the socket (also done on destruction).
  void Close();

 private:
  int fd_ = -1;
  uint16_t port_ = kCommandPort;
};

// The Winsock error number that corresponds to errno `e`; `e` itself when
// none fits (the report then carries no description).
int32_t WinsockCodeOfErrno(int e);

}  // namespace zq

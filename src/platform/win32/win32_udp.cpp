#include "platform/win32/win32_udp.h"

#include <fcntl.h>
#include <io.h>
#include <winsock2.h>

#include <cstdio>

#include "platform/platform.h"

namespace zq {

static_assert(sizeof(SOCKET) == sizeof(uintptr_t) && INVALID_SOCKET == ~uintptr_t{0});

WinsockSession::~WinsockSession() {
  if (started_) WSACleanup();
}

int WinsockSession::Start() {
  WSADATA data;
  int error = WSAStartup(MAKEWORD(2, 2), &data);
  started_ = error == 0;
  return error;
}

Win32UdpSender::~Win32UdpSender() {
  Close();
}

void Win32UdpSender::Close() {
  if (socket_ == INVALID_SOCKET) return;
  shutdown(socket_, SD_SEND);
  closesocket(socket_);
  socket_ = INVALID_SOCKET;
}

SendResult Win32UdpSender::Send(const char* data, size_t size) {
  if (socket_ == INVALID_SOCKET) {
    SOCKET s = socket(AF_INET, SOCK_DGRAM, 0);
    if (s == INVALID_SOCKET) return {SendResult::Kind::noSocket, 0};
    socket_ = s;
    int off = 0;
    if (setsockopt(socket_, SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&off),
                   sizeof off) != 0) {
      return {SendResult::Kind::optionFailed, WSAGetLastError()};
    }
    // reachable from this machine's loopback only, never from the network
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(socket_, reinterpret_cast<const sockaddr*>(&local), static_cast<int>(sizeof local)) !=
        0) {
      SendResult failed{SendResult::Kind::sendFailed, WSAGetLastError()};
      Close();  // the next send tries again rather than send from every address
      return failed;
    }
  }
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(port_);
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int n = sendto(socket_, data, static_cast<int>(size), 0, reinterpret_cast<const sockaddr*>(&to),
                 static_cast<int>(sizeof to));
  if (n == SOCKET_ERROR) return {SendResult::Kind::sendFailed, WSAGetLastError()};
  if (static_cast<size_t>(n) != size) return {SendResult::Kind::shortSend, 0};
  return {};
}

namespace {

// Winsock started for as long as the sender lives: a failed start leaves the
// sender to fail at its first send, which says so.
class CommandSender : public DatagramSender {
 public:
  CommandSender() { session_.Start(); }
  SendResult Send(const char* data, size_t size) override { return udp_.Send(data, size); }

 private:
  WinsockSession session_;  // declared first: cleaned up after the socket closes
  Win32UdpSender udp_;
};

}  // namespace

std::unique_ptr<DatagramSender> MakeCommandSender() {
  return std::make_unique<CommandSender>();
}

void UseBinaryStandardStreams() {
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
}

}  // namespace zq

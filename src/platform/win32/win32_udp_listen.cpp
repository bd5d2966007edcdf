#include "platform/win32/win32_udp_listen.h"

#include <winsock2.h>

#include <algorithm>

#include "control/command_message.h"

namespace zq {

static_assert(sizeof(SOCKET) == sizeof(uintptr_t) && INVALID_SOCKET == ~uintptr_t{0});

Win32UdpListener::~Win32UdpListener() {
  if (socket_ != INVALID_SOCKET) closesocket(socket_);
  if (started_) WSACleanup();
}

int Win32UdpListener::Open(uint16_t port) {
  WSADATA wsa;
  if (int e = WSAStartup(MAKEWORD(2, 2), &wsa); e != 0) return e;
  started_ = true;
  SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (s == INVALID_SOCKET) return WSAGetLastError();
  // Without SO_REUSEADDR a simulator already on the port makes the bind
  // fail rather than share its messages; SO_EXCLUSIVEADDRUSE also keeps a
  // program started later from taking them over with SO_REUSEADDR.
  BOOL on = TRUE;
  setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on), sizeof on);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (bind(s, reinterpret_cast<const sockaddr*>(&addr), static_cast<int>(sizeof addr)) != 0) {
    int e = WSAGetLastError();
    closesocket(s);
    return e;
  }
  socket_ = s;
  int size = static_cast<int>(sizeof addr);
  if (getsockname(s, reinterpret_cast<sockaddr*>(&addr), &size) == 0) port_ = ntohs(addr.sin_port);
  return 0;
}

Win32UdpListener::Wait Win32UdpListener::Receive(std::string& data, int timeoutMs, int wakeFd,
                                                 int& errorNumber) {
  // A negative int widens back to the handle it came from: -1 is INVALID_SOCKET.
  SOCKET wake = static_cast<SOCKET>(static_cast<intptr_t>(wakeFd));
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(socket_, &readable);
  if (wake != INVALID_SOCKET) FD_SET(wake, &readable);
  timeval limit{};
  if (timeoutMs >= 0) {
    limit.tv_sec = timeoutMs / 1000;
    limit.tv_usec = (timeoutMs % 1000) * 1000;
  }
  // The first argument is ignored by Winsock.
  int ready = select(0, &readable, nullptr, nullptr, timeoutMs >= 0 ? &limit : nullptr);
  if (ready == SOCKET_ERROR) {
    errorNumber = WSAGetLastError();
    return Wait::failed;
  }
  if (ready == 0) return Wait::timeout;
  if (wake != INVALID_SOCKET && FD_ISSET(wake, &readable)) return Wait::woken;
  // 65535 holds the largest UDP payload, so nothing is ever cut
  data.resize(65535);
  int n = recv(socket_, data.data(), static_cast<int>(data.size()), 0);
  if (n == SOCKET_ERROR) {
    int e = WSAGetLastError();
    data.clear();
    // WSAECONNRESET stands for an ICMP "port unreachable" after a send; this
    // socket never sends, so it is passed over like an interruption.
    if (e == WSAECONNRESET || e == WSAEWOULDBLOCK || e == WSAEINTR) return Wait::woken;
    errorNumber = e;
    return Wait::failed;
  }
  data.resize(static_cast<size_t>(std::max(n, 0)));
  return Wait::datagram;
}

std::unique_ptr<DatagramListener> MakeDatagramListener() {
  return std::make_unique<Win32UdpListener>();
}

bool IsAccessDenied(int code) {
  return code == WSAEACCES;
}

bool IsAddressInUse(int code) {
  return code == WSAEADDRINUSE;
}

std::string ListenErrorText(int code) {
  std::string text(SocketErrorDescription(code));
  if (!text.empty() && text.back() == '.') text.pop_back();
  return (text.empty() ? "" : text + ", ") + "Winsock error " + std::to_string(code);
}

std::tm LocalTime(std::time_t t) {
  std::tm local{};
  localtime_s(&local, &t);
  return local;
}

}  // namespace zq

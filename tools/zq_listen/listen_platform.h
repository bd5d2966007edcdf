// What zq-listen takes from the system it is built for: the datagram
// listener (POSIX sockets, or Winsock on Windows; both have the same calls),
// the texts of its error codes and the local time of day.
#pragma once

#include <ctime>
#include <string>

#ifdef _WIN32
#include "control/command_message.h"
#include "platform/win32/win32_udp_listen.h"
#else
#include <cerrno>
#include <cstring>

#include "platform/posix/posix_udp_listen.h"
#endif

namespace zq::listen {

#ifdef _WIN32
using UdpListener = Win32UdpListener;

// Winsock codes: WSAEACCES, WSAEADDRINUSE.
inline bool IsAccessDenied(int code) {
  return code == 10013;
}
inline bool IsAddressInUse(int code) {
  return code == 10048;
}
inline std::string ListenErrorText(int code) {
  std::string text(SocketErrorDescription(code));
  if (!text.empty() && text.back() == '.') text.pop_back();
  return (text.empty() ? "" : text + ", ") + "Winsock error " + std::to_string(code);
}
inline std::tm LocalTime(std::time_t t) {
  std::tm local{};
  localtime_s(&local, &t);
  return local;
}
#else
using UdpListener = PosixUdpListener;

inline bool IsAccessDenied(int code) {
  return code == EACCES;
}
inline bool IsAddressInUse(int code) {
  return code == EADDRINUSE;
}
inline std::string ListenErrorText(int code) {
  return std::strerror(code);
}
inline std::tm LocalTime(std::time_t t) {
  std::tm local{};
  localtime_r(&t, &local);
  return local;
}
#endif

}  // namespace zq::listen

// The stop signal of the console tools on Windows: Ctrl+C and Ctrl+Break turned into a
// readable socket, so that a wait on the listening socket ends at once. The
// console runs its handler on a thread of its own; the handler only sets the
// flag and sends one byte from one socket of a connected loopback pair to
// the other, which nothing else can reach.
#include <winsock2.h>

#include <atomic>
#include <cerrno>

#include "platform/platform.h"

namespace zq {
namespace {

SOCKET wakeReader = INVALID_SOCKET;
SOCKET wakeWriter = INVALID_SOCKET;
std::atomic<bool> stopRequested{false};
std::atomic<bool> exitAtOnce{false};

BOOL WINAPI OnConsoleEvent(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;  // the system's way
  if (exitAtOnce) ExitProcess(0);
  stopRequested = true;
  char byte = 1;
  send(wakeWriter, &byte, 1, 0);
  return TRUE;
}

// A UDP socket on 127.0.0.1 with a port of the system's choice.
SOCKET BoundLoopbackSocket(sockaddr_in& address) {
  SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (s == INVALID_SOCKET) return s;
  address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int size = static_cast<int>(sizeof address);
  if (bind(s, reinterpret_cast<const sockaddr*>(&address), size) != 0 ||
      getsockname(s, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    closesocket(s);
    return INVALID_SOCKET;
  }
  return s;
}

bool MakeWakePair() {
  WSADATA wsa;
  if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return false;  // kept for the whole run
  sockaddr_in readerAddress, writerAddress;
  wakeReader = BoundLoopbackSocket(readerAddress);
  wakeWriter = BoundLoopbackSocket(writerAddress);
  // Connected both ways: the reader takes datagrams from the writer only.
  return wakeReader != INVALID_SOCKET && wakeWriter != INVALID_SOCKET &&
         connect(wakeReader, reinterpret_cast<const sockaddr*>(&writerAddress),
                 static_cast<int>(sizeof writerAddress)) == 0 &&
         connect(wakeWriter, reinterpret_cast<const sockaddr*>(&readerAddress),
                 static_cast<int>(sizeof readerAddress)) == 0;
}

}  // namespace

bool InstallStopSignals(bool exitDuringStart) {
  exitAtOnce = exitDuringStart;
  if (MakeWakePair() && SetConsoleCtrlHandler(OnConsoleEvent, TRUE) != 0) return true;
  errno = EIO;  // the caller reports errno
  return false;
}

void StopWakesTheLoop() {
  exitAtOnce = false;
}

int StopDescriptor() {
  // Handles fit in an int: they are shared with 32-bit processes, so only
  // their low 32 bits count (Win32UdpListener widens it back).
  return static_cast<int>(static_cast<intptr_t>(wakeReader));
}

bool StopRequested() {
  return stopRequested;
}

}  // namespace zq

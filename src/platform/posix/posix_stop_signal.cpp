// zq-listen's stop signal on POSIX: SIGINT and SIGTERM turned into a readable
// pipe, so that a wait on the socket ends at once when the user stops it.
#include "platform/platform.h"

#include <fcntl.h>
#include <unistd.h>

#include <csignal>

namespace zq {
namespace {

int pipeFds[2] = {-1, -1};
volatile std::sig_atomic_t stopRequested = 0;

extern "C" void OnStopSignal(int) {
  stopRequested = 1;
  char byte = 1;
  // the pipe is non-blocking: a full pipe already wakes the reader
  ssize_t ignored = write(pipeFds[1], &byte, 1);
  (void)ignored;
}

}  // namespace

bool InstallStopSignals() {
  if (pipe(pipeFds) != 0) return false;
  for (int fd : pipeFds) {
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    fcntl(fd, F_SETFD, FD_CLOEXEC);
  }
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  return sigaction(SIGINT, &action, nullptr) == 0 && sigaction(SIGTERM, &action, nullptr) == 0;
}

int StopDescriptor() {
  return pipeFds[0];
}

bool StopRequested() {
  return stopRequested != 0;
}

}  // namespace zq

// The stop signal on POSIX: SIGINT, SIGTERM and SIGHUP turned into a readable
// pipe, so that a wait on a socket or a timer ends at once when the user
// stops the program.
#include <fcntl.h>
#include <unistd.h>

#include <csignal>

#include "platform/platform.h"

namespace zq {
namespace {

int pipeFds[2] = {-1, -1};
volatile std::sig_atomic_t stopRequested = 0;
volatile std::sig_atomic_t exitAtOnce = 0;

extern "C" void OnStopSignal(int) {
  if (exitAtOnce != 0) _exit(0);
  stopRequested = 1;
  char byte = 1;
  // the pipe is non-blocking: a full pipe already wakes the reader
  ssize_t ignored = write(pipeFds[1], &byte, 1);
  (void)ignored;
}

}  // namespace

bool InstallStopSignals(bool exitDuringStart) {
  exitAtOnce = exitDuringStart ? 1 : 0;
  if (pipe(pipeFds) != 0) return false;
  for (int fd : pipeFds) {
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    fcntl(fd, F_SETFD, FD_CLOEXEC);
  }
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  // Other threads' calls (SDL's, the X library's) go on as if nothing came.
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&action.sa_mask, signal);
  return sigaction(SIGINT, &action, nullptr) == 0 && sigaction(SIGTERM, &action, nullptr) == 0 &&
         sigaction(SIGHUP, &action, nullptr) == 0;
}

void StopWakesTheLoop() {
  exitAtOnce = 0;
}

int StopDescriptor() {
  return pipeFds[0];
}

bool StopRequested() {
  return stopRequested != 0;
}

}  // namespace zq

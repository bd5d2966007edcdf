/* The floor for any 20 Hz poller: a bare loop that waits in poll() for a
 * 50 ms timerfd on an absolute grid and reads it, nothing else. Runs until
 * killed; bench/idle_linux.sh measures it beside the panel. */
#include <poll.h>
#include <stdint.h>
#include <stdio.h>
#include <sys/timerfd.h>
#include <time.h>
#include <unistd.h>

int main(void) {
  int fd = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
  if (fd < 0) {
    perror("timerfd_create");
    return 1;
  }
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  struct itimerspec due = {{0, 50000000}, {now.tv_sec, now.tv_nsec}};
  due.it_value.tv_nsec += 50000000;
  if (due.it_value.tv_nsec >= 1000000000) {
    due.it_value.tv_nsec -= 1000000000;
    due.it_value.tv_sec += 1;
  }
  if (timerfd_settime(fd, TFD_TIMER_ABSTIME, &due, NULL) != 0) {
    perror("timerfd_settime");
    return 1;
  }
  for (;;) {
    struct pollfd p = {fd, POLLIN, 0};
    if (poll(&p, 1, -1) < 0) continue;
    uint64_t expiries;
    if (read(fd, &expiries, sizeof expiries) < 0) continue;
  }
}

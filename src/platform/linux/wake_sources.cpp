#include "platform/linux/wake_sources.h"

#include <sys/epoll.h>
#include <unistd.h>

#include <cerrno>

namespace zq {

WakeSources::WakeSources() : epoll_(::epoll_create1(EPOLL_CLOEXEC)) {
  fds_.fill(-1);
}

WakeSources::~WakeSources() {
  if (epoll_ >= 0) ::close(epoll_);
}

void WakeSources::Watch(int slot, int fd, int64_t owner) {
  int& current = fds_[static_cast<size_t>(slot)];
  int64_t& known = owners_[static_cast<size_t>(slot)];
  if (current == fd && known == owner) return;
  known = owner;
  // The old descriptor may be closed already (then it has left the set);
  // a failure here says no more than that.
  if (current >= 0) ::epoll_ctl(epoll_, EPOLL_CTL_DEL, current, nullptr);
  current = -1;
  if (fd < 0) return;
  epoll_event e{};
  e.events = EPOLLIN;
  e.data.u32 = static_cast<uint32_t>(slot);
  if (::epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &e) == 0) current = fd;
}

int64_t WakeSources::Wait() {
  epoll_event events[kMaxSources];
  int n = ::epoll_wait(epoll_, events, kMaxSources, -1);
  if (n < 0) return errno == EINTR ? 0 : -1;
  int64_t ready = 0;
  for (int i = 0; i < n; ++i) ready |= int64_t{1} << events[i].data.u32;
  return ready;
}

}  // namespace zq

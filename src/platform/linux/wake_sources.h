// The descriptors the panel's loop waits on, in one epoll set: a wait costs
// the same however many sources there are, and nothing is registered anew
// on every tick.
#pragma once

#include <array>
#include <cstdint>

namespace zq {

class WakeSources {
 public:
  static constexpr int kMaxSources = 9;

  WakeSources();
  ~WakeSources();
  WakeSources(const WakeSources&) = delete;
  WakeSources& operator=(const WakeSources&) = delete;

  bool Ok() const { return epoll_ >= 0; }
  // Source `slot` (0..kMaxSources - 1) is `fd` from now on; -1 for none. A
  // descriptor that was closed has left the set by itself; `owner` tells a
  // new one that got the old number (a box's socket after the last box's)
  // from the one already watched.
  void Watch(int slot, int fd, int64_t owner = 0);
  // Waits for any source; bit `slot` set for each one that is ready. 0 when
  // the wait was interrupted; -1 on failure.
  int64_t Wait();

 private:
  int epoll_ = -1;
  std::array<int, kMaxSources> fds_;
  std::array<int64_t, kMaxSources> owners_{};
};

}  // namespace zq

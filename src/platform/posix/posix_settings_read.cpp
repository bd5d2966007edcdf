// The settings file read once, whole, bounded, without ever waiting on a
// FIFO or reading a device.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "config/settings_snapshot.h"

namespace zq {
namespace {

SettingsFileText FromErrno(int e) {
  switch (e) {
    case ENOENT:
    case ENOTDIR:
      return SettingsFileFailure(SettingsFileState::missing);
    case EACCES:
    case EPERM:
      return SettingsFileFailure(SettingsFileState::permissionDenied);
    case ELOOP:
      return SettingsFileFailure(SettingsFileState::symlinkLoop);
    case EISDIR:
      return SettingsFileFailure(SettingsFileState::directory);
    default:
      return SettingsFileFailure(SettingsFileState::ioError, std::strerror(e));
  }
}

// What is not a regular file: the type named, or a failure for a directory.
SettingsFileText FromType(mode_t mode) {
  if (S_ISDIR(mode)) return SettingsFileFailure(SettingsFileState::directory);
  const char* kind = S_ISFIFO(mode)   ? "a FIFO"
                     : S_ISCHR(mode)  ? "a character device"
                     : S_ISBLK(mode)  ? "a block device"
                     : S_ISSOCK(mode) ? "a socket"
                                      : "special";
  return SettingsFileFailure(SettingsFileState::notRegularFile, kind);
}

SettingsFileText TooLarge(uint64_t size) {
  SettingsFileText f = SettingsFileFailure(SettingsFileState::tooLarge);
  f.size = size;
  return f;
}

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

SettingsFileText ReadSettingsFile(const std::string& path, uint64_t limit) {
  // The type first, so that a FIFO or a device is never even opened (opening
  // some devices does something by itself).
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return FromErrno(errno);
  if (!S_ISREG(st.st_mode)) return FromType(st.st_mode);
  if (static_cast<uint64_t>(st.st_size) > limit) return TooLarge(static_cast<uint64_t>(st.st_size));

  // Without waiting: the path may have become a FIFO since; the descriptor's
  // own type then decides.
  Descriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (fd.get() < 0) return FromErrno(errno);
  if (::fstat(fd.get(), &st) != 0) return FromErrno(errno);
  if (!S_ISREG(st.st_mode)) return FromType(st.st_mode);
  const uint64_t size = static_cast<uint64_t>(st.st_size);
  if (size > limit) return TooLarge(size);

  SettingsFileText f;
  f.state = SettingsFileState::read;
  // A file that grows while it is read (or says size 0, as some system
  // files do) is read up to one byte past the limit, and refused there.
  f.text.resize(static_cast<size_t>(size) + 1);
  size_t got = 0;
  while (true) {
    if (got == f.text.size()) {
      if (got > limit) return TooLarge(got);
      f.text.resize(static_cast<size_t>(std::min<uint64_t>(limit + 1, 2 * got + 4096)));
    }
    ssize_t n = ::read(fd.get(), f.text.data() + got, f.text.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return FromErrno(errno);
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  if (got > limit) return TooLarge(got);
  f.text.resize(got);
  f.size = got;
  return f;
}

}  // namespace zq

// The settings store's file calls on POSIX: open without blocking, fstat
// before reading, mkstemp beside the file, fsync of the file and its folder,
// rename over the original.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "config/settings_store.h"

namespace zq {
namespace {

FileOutcome FromErrno(int err) {
  switch (err) {
    case ENOENT:
      return {FileFault::missing, std::strerror(err)};
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
      return {FileFault::noSpace, std::strerror(err)};
    case EACCES:
    case EPERM:
      return {FileFault::noPermission, std::strerror(err)};
    case EROFS:
      return {FileFault::readOnly, std::strerror(err)};
    default:
      return {FileFault::other, std::strerror(err)};
  }
}

const char* KindOf(mode_t mode) {
  if (S_ISDIR(mode)) return "a directory";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
  if (S_ISSOCK(mode)) return "a socket";
  return "not a plain file";
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// A settings file that is a symbolic link is replaced where it really lives:
// the link stays a link.
std::string Resolved(const std::string& path) {
  char* real = ::realpath(path.c_str(), nullptr);
  if (real == nullptr) return path;
  std::string out = real;
  std::free(real);
  return out;
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

class PosixFileOps : public FileOps {
 public:
  FileOutcome Read(const std::string& path, uint64_t limit, std::string& bytes,
                   FileInfo& info) override {
    // O_NONBLOCK: opening a FIFO must not wait for a writer
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
      struct stat st;
      if (errno != ENOENT && ::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
        return {FileFault::notRegular, KindOf(st.st_mode)};
      return FromErrno(errno);
    }
    struct stat st;
    FileOutcome out;
    if (::fstat(fd, &st) != 0) {
      out = FromErrno(errno);
    } else if (!S_ISREG(st.st_mode)) {
      out = {FileFault::notRegular, KindOf(st.st_mode)};
    } else if (static_cast<uint64_t>(st.st_size) > limit) {
      out = {FileFault::tooLarge, ""};
    } else {
      bytes.assign(static_cast<size_t>(st.st_size), '\0');
      size_t got = 0;
      while (got < bytes.size()) {
        ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
          out = FromErrno(errno);
          break;
        }
        if (n == 0) break;
        got += static_cast<size_t>(n);
      }
      bytes.resize(got);  // a file cut short meanwhile: its hash will differ
      info.size = static_cast<uint64_t>(st.st_size);
      info.modified = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
      info.readOnly = (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
    }
    ::close(fd);
    return out;
  }

  FileOutcome WriteTemp(const std::string& near, std::string_view bytes,
                        std::string& tempPath) override {
    std::string name = Resolved(near) + ".XXXXXX";
    int fd = ::mkstemp(name.data());
    if (fd < 0) return FromErrno(errno);
    tempPath = name;
    struct stat st;
    if (::stat(near.c_str(), &st) == 0) {
      ::fchmod(fd, st.st_mode & 07777);
    } else {  // a new file: as any program would create it, not mkstemp's 0600
      mode_t mask = ::umask(0);
      ::umask(mask);
      ::fchmod(fd, 0666 & ~mask);
    }
    bool ok = WriteAll(fd, bytes) && ::fsync(fd) == 0;
    int err = errno;
    if (::close(fd) != 0 && ok) {
      ok = false;
      err = errno;
    }
    if (!ok) return FromErrno(err);
    return {};
  }

  FileOutcome Replace(const std::string& from, const std::string& to) override {
    const std::string target = Resolved(to);
    if (::rename(from.c_str(), target.c_str()) != 0) return FromErrno(errno);
    // the rename itself reaches the disk with its folder
    int dir = ::open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
      ::fsync(dir);
      ::close(dir);
    }
    return {};
  }

  void Remove(const std::string& path) override { ::unlink(path.c_str()); }
};

}  // namespace

std::unique_ptr<FileOps> MakePlatformFileOps() {
  return std::make_unique<PosixFileOps>();
}

}  // namespace zq

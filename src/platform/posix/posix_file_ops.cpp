// The settings store's file calls on POSIX: the folder is opened once and
// every later call is relative to it (openat, renameat, never following a
// link); open without blocking, fstat before reading, a temporary file of
// the file's own mode beside it, fsync of the file and its folder, rename
// over the original.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>  // renameat2

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>

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

std::string LeafOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string RealPath(const std::string& path) {
  char* real = ::realpath(path.c_str(), nullptr);
  if (real == nullptr) return "";
  std::string out = real;
  std::free(real);
  return out;
}

// ZQ_TEST_STOP_AT=read|replace stops the process (SIGSTOP) after each read of
// a file or before each rename, so that tests can act or kill at that point.
void StopForTest(const char* point) {
  const char* at = std::getenv("ZQ_TEST_STOP_AT");
  if (at != nullptr && std::strcmp(at, point) == 0) ::raise(SIGSTOP);
}

// "<like>.XXXXXX", six letters or digits: the temporary files of a save.
bool IsTempOf(const std::string& entry, const std::string& like) {
  if (entry.size() != like.size() + 7 || entry.compare(0, like.size(), like) != 0 ||
      entry[like.size()] != '.')
    return false;
  for (size_t i = like.size() + 1; i < entry.size(); ++i) {
    char c = entry[i];
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))) return false;
  }
  return true;
}

FileInfo InfoOf(const struct stat& st) {
  FileInfo info;
  info.size = static_cast<uint64_t>(st.st_size);
  info.modified = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  info.readOnly = (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
  info.device = static_cast<uint64_t>(st.st_dev);
  info.node = static_cast<uint64_t>(st.st_ino);
  info.changed = static_cast<int64_t>(st.st_mtim.tv_sec);
  return info;
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

class PosixFolder : public SettingsFolder {
 public:
  PosixFolder(int dir, std::string path, const struct stat& st)
      : dir_(dir), path_(std::move(path)), device_(st.st_dev), node_(st.st_ino) {}
  ~PosixFolder() override { ::close(dir_); }
  PosixFolder(const PosixFolder&) = delete;
  PosixFolder& operator=(const PosixFolder&) = delete;

  FileOutcome StillThere() override {
    struct stat st;
    if (::stat(path_.c_str(), &st) != 0) {
      return {FileFault::other,
              "its folder '" + path_ + "' is gone (" + std::strerror(errno) + ")"};
    }
    if (st.st_dev != device_ || st.st_ino != node_) {
      return {FileFault::other, "its folder '" + path_ + "' was moved or replaced since"};
    }
    return {};
  }

  FileOutcome Look(const std::string& name, FileInfo& info) override {
    struct stat st;
    if (::fstatat(dir_, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return FromErrno(errno);
    if (S_ISLNK(st.st_mode)) return {FileFault::notRegular, "a symbolic link"};
    if (!S_ISREG(st.st_mode)) return {FileFault::notRegular, KindOf(st.st_mode)};
    info = InfoOf(st);
    return {};
  }

  FileOutcome Read(const std::string& name, uint64_t limit, std::string& bytes,
                   FileInfo& info) override {
    // O_NONBLOCK: opening a FIFO must not wait for a writer
    int fd =
        ::openat(dir_, name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW);
    if (fd < 0) {
      int err = errno;
      struct stat st;
      if (err != ENOENT && ::fstatat(dir_, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        if (S_ISLNK(st.st_mode)) return {FileFault::notRegular, "a symbolic link"};
        if (!S_ISREG(st.st_mode)) return {FileFault::notRegular, KindOf(st.st_mode)};
      }
      return FromErrno(err);
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
      info = InfoOf(st);
    }
    ::close(fd);
    if (out.ok()) StopForTest("read");
    return out;
  }

  FileOutcome WriteTemp(const std::string& like, std::string_view bytes,
                        std::string& tempName) override {
    struct stat st;
    mode_t mode;
    bool sameGroup = false;
    if (::fstatat(dir_, like.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode)) {
      mode = st.st_mode & 0777;
      sameGroup = true;
    } else {  // a new file: as any program would create it
      mode_t mask = ::umask(0);
      ::umask(mask);
      mode = 0666 & ~mask;
    }
    static const char kLetters[] = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
    std::random_device random;
    int fd = -1;
    std::string name;
    for (int tries = 0; fd < 0 && tries < 100; ++tries) {
      name = like + ".";
      for (int i = 0; i < 6; ++i) name += kLetters[random() % (sizeof kLetters - 1)];
      // O_EXCL: never a file or link that is already there; 0600 until written
      fd = ::openat(dir_, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                    S_IRUSR | S_IWUSR);
      if (fd < 0 && errno != EEXIST) return FromErrno(errno);
    }
    if (fd < 0) return {FileFault::other, "no free name for a temporary file"};
    tempName = name;
    if (sameGroup) {  // the file's owner and group, as far as we may give them
      struct stat mine;
      if (::fstat(fd, &mine) == 0 && (mine.st_uid != st.st_uid || mine.st_gid != st.st_gid)) {
        if (::fchown(fd, st.st_uid, st.st_gid) != 0 &&
            ::fchown(fd, static_cast<uid_t>(-1), st.st_gid) != 0 && mine.st_gid != st.st_gid)
          mode &= ~static_cast<mode_t>(0070);  // not that group's: not readable by ours
      }
    }
    bool ok = WriteAll(fd, bytes) && ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
    int err = errno;
    if (::close(fd) != 0 && ok) {
      ok = false;
      err = errno;
    }
    if (!ok) return FromErrno(err);
    return {};
  }

  FileOutcome Replace(const std::string& from, const std::string& to) override {
    StopForTest("replace");
    if (::renameat(dir_, from.c_str(), dir_, to.c_str()) != 0) return FromErrno(errno);
    ::fsync(dir_);  // the rename itself reaches the disk with its folder
    return {};
  }

  void Remove(const std::string& name) override { ::unlinkat(dir_, name.c_str(), 0); }

  FileOutcome List(std::vector<FolderEntry>& entries, size_t limit) override {
    int fd = ::openat(dir_, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return FromErrno(errno);
    DIR* list = ::fdopendir(fd);
    if (list == nullptr) {
      FileOutcome out = FromErrno(errno);
      ::close(fd);
      return out;
    }
    while (const dirent* e = ::readdir(list)) {
      const std::string entry = e->d_name;
      if (entry == "." || entry == "..") continue;
      struct stat st;
      if (::fstatat(dir_, entry.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
      if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) continue;  // links too
      if (entries.size() >= limit) break;
      entries.push_back({entry, S_ISDIR(st.st_mode), InfoOf(st)});
    }
    ::closedir(list);
    return {};
  }

  FileOutcome OpenSub(const std::string& name, std::unique_ptr<SettingsFolder>& sub) override {
    int fd = ::openat(dir_, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
      int err = errno;
      struct stat st;
      if (::fstatat(dir_, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISDIR(st.st_mode))
        return {FileFault::notRegular, S_ISLNK(st.st_mode) ? "a symbolic link" : "not a folder"};
      return FromErrno(err);
    }
    struct stat st;
    if (::fstat(fd, &st) != 0) {
      FileOutcome out = FromErrno(errno);
      ::close(fd);
      return out;
    }
    sub = std::make_unique<PosixFolder>(fd, name == "." ? path_ : path_ + "/" + name, st);
    return {};
  }

  FileOutcome MakeFolder(const std::string& name) override {
    if (::mkdirat(dir_, name.c_str(), 0777) != 0) return FromErrno(errno);
    ::fsync(dir_);
    return {};
  }

  FileOutcome RenameNew(const std::string& from, const std::string& to) override {
    if (::renameat2(dir_, from.c_str(), dir_, to.c_str(), RENAME_NOREPLACE) == 0) {
      ::fsync(dir_);
      return {};
    }
    if (errno != EINVAL && errno != ENOSYS) return FromErrno(errno);
    // A file system without it: a file gets its new name as a hard link,
    // which never replaces either; a folder takes the place of an empty one
    // made for it here.
    struct stat st;
    if (::fstatat(dir_, from.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return FromErrno(errno);
    if (S_ISDIR(st.st_mode)) {
      if (::mkdirat(dir_, to.c_str(), 0700) != 0) return FromErrno(errno);
      if (::renameat(dir_, from.c_str(), dir_, to.c_str()) != 0) {
        int err = errno;
        ::unlinkat(dir_, to.c_str(), AT_REMOVEDIR);
        return FromErrno(err);
      }
    } else {
      if (::linkat(dir_, from.c_str(), dir_, to.c_str(), 0) != 0) return FromErrno(errno);
      ::unlinkat(dir_, from.c_str(), 0);
    }
    ::fsync(dir_);
    return {};
  }

  void RemoveStaleTemps(const std::string& like) override {
    int fd = ::openat(dir_, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    DIR* list = ::fdopendir(fd);
    if (list == nullptr) {
      ::close(fd);
      return;
    }
    const time_t now = std::time(nullptr);
    const uid_t me = ::geteuid();
    const std::string backup = like + ".bak";
    while (const dirent* e = ::readdir(list)) {
      const std::string entry = e->d_name;
      if (!IsTempOf(entry, like) && !IsTempOf(entry, backup)) continue;
      struct stat st;
      if (::fstatat(dir_, entry.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
      // a save in progress elsewhere is younger; another user's file is theirs
      if (!S_ISREG(st.st_mode) || st.st_uid != me || now - st.st_mtime < 60) continue;
      ::unlinkat(dir_, entry.c_str(), 0);
    }
    ::closedir(list);
  }

 private:
  int dir_;
  std::string path_;
  dev_t device_;
  ino_t node_;
};

class PosixFileOps : public FileOps {
 public:
  FileOutcome OpenFolder(const std::string& path, std::unique_ptr<SettingsFolder>& folder,
                         std::string& name) override {
    if (path.empty()) return FromErrno(ENOENT);
    if (path.back() == '/') return {FileFault::notRegular, "a directory"};
    struct stat st;
    std::string full;
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
      // a link that someone else made could point anywhere the player may write
      if (st.st_uid != ::geteuid() && st.st_uid != 0)
        return {FileFault::notRegular, "a link made by another user"};
      full = RealPath(path);  // the file is saved where it lives; the link stays
    }
    if (full.empty()) {
      std::string dir = RealPath(FolderOf(path));
      if (dir.empty()) return FromErrno(errno);
      full = (dir == "/" ? "" : dir) + "/" + LeafOf(path);
    }
    int dir = ::open(FolderOf(full).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return FromErrno(errno);
    if (::fstat(dir, &st) != 0) {
      FileOutcome out = FromErrno(errno);
      ::close(dir);
      return out;
    }
    folder = std::make_unique<PosixFolder>(dir, FolderOf(full), st);
    name = LeafOf(full);
    return {};
  }
};

}  // namespace

std::unique_ptr<FileOps> MakePlatformFileOps() {
  return std::make_unique<PosixFileOps>();
}

}  // namespace zq

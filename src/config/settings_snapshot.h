// One reading of the settings file, and why a file could not be read.
//
// The Linux panel, zq-replay and zq-check read Setup.ini once per start:
// ReadSettingsFile() reads it whole (or says why it cannot), and a
// SettingsSnapshot built from that reading answers every lookup of the
// settings load. (The Windows panel keeps the system's profile call, which
// reads the file anew for each key.)
//
// Typical use in a shell:
//   SettingsSnapshot settings = TakeSettingsSnapshot("./Setup.ini");
//   if (settings.Refused()) print(program + ": " + settings.Message());
//   CreateForm(form, settings, ...);   // a refused file reads as all defaults
#pragma once

#include <cstdint>
#include <string>

#include "config/settings_file.h"

namespace zq {

// A settings file larger than this is refused without being read: real ones
// have a few kilobytes, and 16 MiB bounds both the memory and the time the
// start may take, while leaving room for any file a person writes.
constexpr uint64_t kSettingsFileLimit = uint64_t{16} << 20;

enum class SettingsFileState {
  read,              // the whole file is in `text`
  missing,           // no such file (or a link to nothing): the defaults, said by no one
  directory,         // the path names a directory
  notRegularFile,    // a FIFO, a device, a socket: never opened for reading
  permissionDenied,  // the file or a folder on its path may not be read
  symlinkLoop,       // symbolic links that lead back to themselves
  tooLarge,          // over the limit; not read at all
  ioError,           // any other failure of the system calls
};

struct SettingsFileText {
  SettingsFileState state = SettingsFileState::missing;
  std::string text;  // the file's bytes when `state` is read, else empty
  std::string
      detail;  // notRegularFile: "a FIFO"...; tooLarge: the size; ioError: the system's words
  uint64_t size = 0;  // bytes of the file when known
};

// Reads the file at `path` once, whole, at most `limit` bytes. Never blocks
// and never reads from anything but a regular file: the type is checked
// before the file is opened, the file is opened without waiting and checked
// again on the open descriptor. Defined by each platform (src/platform/posix,
// src/platform/win32); the core only names the outcome.
SettingsFileText ReadSettingsFile(const std::string& path, uint64_t limit = kSettingsFileLimit);

// A reading that failed in `state`, with the system's words if any.
SettingsFileText SettingsFileFailure(SettingsFileState state, std::string detail = "");

// Why the file could not be read, in a few words ("it is a directory",
// "permission denied", "it is a FIFO, not a regular file"...); "" when read.
std::string SettingsFileCause(const SettingsFileText& file);

// The settings load's view of one reading of the file. A file that could not
// be read gives an empty profile: every lookup answers its default.
class SettingsSnapshot : public SettingsLookup {
 public:
  SettingsSnapshot(std::string path, SettingsFileText file);

  std::string ReadText(std::string_view section, std::string_view key,
                       std::string_view def) const override;
  bool HasKey(std::string_view section, std::string_view key) const override;

  const std::string& Path() const { return path_; }
  SettingsFileState State() const { return state_; }
  bool Read() const { return state_ == SettingsFileState::read; }
  // True when the file is there but could not be read: worth telling the
  // player (a missing file just means the defaults, as it always did).
  bool Refused() const {
    return state_ != SettingsFileState::read && state_ != SettingsFileState::missing;
  }
  // SettingsFileCause() of the reading.
  const std::string& Cause() const { return cause_; }
  // One line, without program name or newline: "cannot read the settings
  // file './Setup.ini': it is a directory; running on the defaults".
  std::string Message() const;
  const ProfileText& Profile() const { return profile_; }

 private:
  std::string path_;
  SettingsFileState state_;
  std::string cause_;
  ProfileText profile_;
};

// ReadSettingsFile(path) made into a snapshot (inline: the reading is the
// platform's, which the core does not link).
inline SettingsSnapshot TakeSettingsSnapshot(const std::string& path,
                                             uint64_t limit = kSettingsFileLimit) {
  return SettingsSnapshot(path, ReadSettingsFile(path, limit));
}

}  // namespace zq

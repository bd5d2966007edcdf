// Reading a settings file into a document and saving it back without ever
// leaving a half-written file: the new text goes to a temporary file in the
// same folder, is flushed to disk and then replaces the original in one step;
// the previous text is kept as "<file>.bak". The file calls themselves come
// from the platform (FileOps), so tests can make any of them fail.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "config/settings_document.h"

namespace zq {

// Larger than any settings file a player writes by hand.
constexpr uint64_t kMaxSettingsBytes = 16u << 20;

enum class FileFault {
  none,
  missing,
  notRegular,
  tooLarge,
  readOnly,
  noSpace,
  noPermission,
  other
};

struct FileOutcome {
  FileFault fault = FileFault::none;
  std::string detail;  // the system's words, for the message
  bool ok() const { return fault == FileFault::none; }
};

struct FileInfo {
  uint64_t size = 0;
  int64_t modified = 0;  // the platform's modification time, compared as is
  bool readOnly = false;
  // Which file it is on its device (the same name may come to mean another
  // file); both 0 where the platform cannot tell.
  uint64_t device = 0;
  uint64_t node = 0;
  int64_t changed = 0;  // the last change in seconds since 1970 (UTC), for people
};

// A file or folder in a folder; links, devices and FIFOs are never listed.
struct FolderEntry {
  std::string name;
  bool folder = false;
  FileInfo info;  // of a file
};

// The folder of a settings file, looked up once and held open: every call
// names a file in it by its bare name, and no call follows a link there, so a
// folder shared with others cannot redirect a save to some other file.
class SettingsFolder {
 public:
  virtual ~SettingsFolder() = default;
  // Fails while the folder's path names another folder than the one held
  // (moved, removed or replaced since it was opened).
  virtual FileOutcome StillThere() = 0;
  // What is at `name`, without reading it and without following a link.
  virtual FileOutcome Look(const std::string& name, FileInfo& info) = 0;
  // A regular file whole: refuses links, directories, FIFOs and devices
  // (without waiting on a FIFO) and files over `limit` bytes.
  virtual FileOutcome Read(const std::string& name, uint64_t limit, std::string& bytes,
                           FileInfo& info) = 0;
  // A new file of our temporary name pattern ("<like>.XXXXXX") holding
  // `bytes`, flushed to disk and closed; its name in `tempName`. It gets the
  // permissions of the file `like` when that exists, else those any program
  // gives a new file.
  virtual FileOutcome WriteTemp(const std::string& like, std::string_view bytes,
                                std::string& tempName) = 0;
  // Puts `from` in the place of `to` in one step; whatever was at `to`, a
  // link too, is replaced itself, never what it points to.
  virtual FileOutcome Replace(const std::string& from, const std::string& to) = 0;
  virtual void Remove(const std::string& name) = 0;
  // Removes the temporary files of `like` that a save ended before its
  // end left behind: ours, older than a minute.
  virtual void RemoveStaleTemps(const std::string& like) = 0;

  // The profiles' calls: a platform without them refuses, and a folder of
  // profiles then shows only the file opened.
  // The regular files and folders in this folder, at most `limit` of them.
  virtual FileOutcome List(std::vector<FolderEntry>& entries, size_t limit);
  // A folder in this one by its bare name ("." for this one again), never
  // through a link.
  virtual FileOutcome OpenSub(const std::string& name, std::unique_ptr<SettingsFolder>& sub);
  // A new empty folder; fails when the name is taken.
  virtual FileOutcome MakeFolder(const std::string& name);
  // Gives `from` the name `to` in one step, only while nothing has that
  // name: it never replaces anything.
  virtual FileOutcome RenameNew(const std::string& from, const std::string& to);
};

class FileOps {
 public:
  virtual ~FileOps() = default;
  // Finds the folder of the file at `path` and holds it open; the file's
  // name in it goes to `name`. A link at the file's own name, made by the
  // player, is followed once, here, to where the file lives.
  virtual FileOutcome OpenFolder(const std::string& path, std::unique_ptr<SettingsFolder>& folder,
                                 std::string& name) = 0;
};

// The platform's file calls.
std::unique_ptr<FileOps> MakePlatformFileOps();

// What the file was when read: a save refuses if any of it changed since.
struct FileStamp {
  bool exists = false;
  uint64_t size = 0;
  int64_t modified = 0;
  uint64_t hash = 0;
  uint64_t device = 0;
  uint64_t node = 0;
};

uint64_t ContentHash(std::string_view bytes);

// A settings file open for editing: the document in memory, and what the
// file on disk was when it was read.
class SettingsEditor {
 public:
  // Finds the file's folder and the file's name in it; by default
  // FileOps::OpenFolder of the path.
  using Locator =
      std::function<FileOutcome(std::unique_ptr<SettingsFolder>& folder, std::string& name)>;

  SettingsEditor(FileOps& ops, std::string path) : ops_(ops), path_(std::move(path)) {}
  // Edits another file from now on (read it with Open); `locate` finds it
  // without going through its path, as a profile in a folder already held.
  void Rebind(std::string path, Locator locate);

  // Reads the file; a missing file gives an empty document (Exists() false).
  // "" on success, else a message naming the file and the cause. Its folder
  // is held from here on, and temporary files that an interrupted save left
  // there are removed.
  std::string Open();
  // Starts a document for a file that does not exist yet.
  void StartNew(std::string bytes);
  bool Exists() const { return stamp_.exists; }
  const std::string& Path() const { return path_; }
  std::string BackupPath() const { return path_ + ".bak"; }
  SettingsDocument& Document() { return document_; }
  const SettingsDocument& Document() const { return document_; }

  // "" while the file on disk is still what Open read, in the folder Open
  // found, else why not.
  std::string ChangedOnDisk() const;
  // Writes the document over the file, keeping the old text as the backup.
  // "" on success; else the message, and the file and its backup as they were.
  std::string Save();

 private:
  std::string Say(const FileOutcome& o, std::string_view doing, const std::string& path) const;
  // What is at the file's name now, against the stamp: "" while it is the
  // same file (content too when `bytes` is given), else the refusal.
  std::string Compare(std::string* bytes, FileInfo& info) const;

  FileOutcome Locate(std::unique_ptr<SettingsFolder>& folder, std::string& name) const;

  FileOps& ops_;
  std::string path_;
  Locator locate_;
  std::unique_ptr<SettingsFolder> folder_;
  std::string name_;  // the file's name in folder_
  SettingsDocument document_;
  FileStamp stamp_;
};

}  // namespace zq

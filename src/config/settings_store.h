// Reading a settings file into a document and saving it back without ever
// leaving a half-written file: the new text goes to a temporary file in the
// same folder, is flushed to disk and then replaces the original in one step;
// the previous text is kept as "<file>.bak". The file calls themselves come
// from the platform (FileOps), so tests can make any of them fail.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

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
};

class FileOps {
 public:
  virtual ~FileOps() = default;
  // A regular file whole: refuses directories, FIFOs and devices (without
  // waiting on a FIFO) and files over `limit` bytes.
  virtual FileOutcome Read(const std::string& path, uint64_t limit, std::string& bytes,
                           FileInfo& info) = 0;
  // A new file in the folder of `near`, holding `bytes`, flushed to disk and
  // closed; its name in `tempPath`. Takes the permissions of `near` when it exists.
  virtual FileOutcome WriteTemp(const std::string& near, std::string_view bytes,
                                std::string& tempPath) = 0;
  // Puts `from` in the place of `to` in one step, replacing it.
  virtual FileOutcome Replace(const std::string& from, const std::string& to) = 0;
  virtual void Remove(const std::string& path) = 0;
};

// The platform's file calls.
std::unique_ptr<FileOps> MakePlatformFileOps();

// What the file was when read: a save refuses if any of it changed since.
struct FileStamp {
  bool exists = false;
  uint64_t size = 0;
  int64_t modified = 0;
  uint64_t hash = 0;
};

uint64_t ContentHash(std::string_view bytes);

// A settings file open for editing: the document in memory, and what the
// file on disk was when it was read.
class SettingsEditor {
 public:
  SettingsEditor(FileOps& ops, std::string path) : ops_(ops), path_(std::move(path)) {}

  // Reads the file; a missing file gives an empty document (Exists() false).
  // "" on success, else a message naming the file and the cause.
  std::string Open();
  // Starts a document for a file that does not exist yet.
  void StartNew(std::string bytes);
  bool Exists() const { return stamp_.exists; }
  const std::string& Path() const { return path_; }
  std::string BackupPath() const { return path_ + ".bak"; }
  SettingsDocument& Document() { return document_; }
  const SettingsDocument& Document() const { return document_; }

  // "" while the file on disk is still what Open read, else why not.
  std::string ChangedOnDisk() const;
  // Writes the document over the file, keeping the old text as the backup.
  // "" on success; else the message, and the file and its backup as they were.
  std::string Save();

 private:
  std::string Say(const FileOutcome& o, std::string_view doing, const std::string& path) const;

  FileOps& ops_;
  std::string path_;
  SettingsDocument document_;
  FileStamp stamp_;
};

}  // namespace zq

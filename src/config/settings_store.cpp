#include "config/settings_store.h"

namespace zq {

uint64_t ContentHash(std::string_view bytes) {
  uint64_t h = 1469598103934665603ull;  // FNV-1a
  for (char c : bytes) {
    h ^= static_cast<unsigned char>(c);
    h *= 1099511628211ull;
  }
  return h;
}

std::string SettingsEditor::Say(const FileOutcome& o, std::string_view doing,
                                const std::string& path) const {
  std::string why;
  switch (o.fault) {
    case FileFault::none:
      return "";
    case FileFault::missing:
      why = "there is no such file";
      break;
    case FileFault::notRegular:
      why = "it is not a regular file (" + o.detail + ")";
      break;
    case FileFault::tooLarge:
      why = "it is larger than " + std::to_string(kMaxSettingsBytes >> 20) +
            " MiB, too large for a settings file";
      break;
    case FileFault::readOnly:
      why = "the file is read-only";
      break;
    case FileFault::noSpace:
      why = "the disk is full";
      break;
    case FileFault::noPermission:
      why = "no permission to write in its folder (" + o.detail + ")";
      break;
    case FileFault::other:
      why = o.detail;
      break;
  }
  return std::string(doing) + " '" + path + "': " + why;
}

std::string SettingsEditor::Open() {
  std::string bytes;
  FileInfo info;
  FileOutcome o = ops_.Read(path_, kMaxSettingsBytes, bytes, info);
  if (o.fault == FileFault::missing) {
    stamp_ = FileStamp{};
    document_ = SettingsDocument();
    return "";
  }
  if (!o.ok()) return Say(o, "cannot read", path_);
  stamp_ = FileStamp{true, info.size, info.modified, ContentHash(bytes)};
  document_ = SettingsDocument(std::move(bytes));
  return "";
}

void SettingsEditor::StartNew(std::string bytes) {
  stamp_ = FileStamp{};
  document_ = SettingsDocument(std::move(bytes));
}

std::string SettingsEditor::ChangedOnDisk() const {
  std::string bytes;
  FileInfo info;
  FileOutcome o = ops_.Read(path_, kMaxSettingsBytes, bytes, info);
  const std::string refuse = "'" + path_ + "' ";
  if (o.fault == FileFault::missing) {
    return stamp_.exists ? refuse + "was removed since it was read" : "";
  }
  if (!stamp_.exists) return refuse + "was created by someone else since it was looked for";
  if (!o.ok()) return Say(o, "cannot read", path_);
  if (info.size != stamp_.size || info.modified != stamp_.modified ||
      ContentHash(bytes) != stamp_.hash) {
    return refuse + "changed on disk since it was read: read it again and redo the change";
  }
  return "";
}

// Order: the new text is written out in full before anything is replaced, so
// a full disk or a crash leaves the file and its backup as they were; then the
// backup takes the old text, then the file the new.
std::string SettingsEditor::Save() {
  std::string refusal = ChangedOnDisk();
  if (!refusal.empty()) return "not saved: " + refusal;
  std::string old;
  FileInfo info;
  if (stamp_.exists) {
    FileOutcome o = ops_.Read(path_, kMaxSettingsBytes, old, info);
    if (!o.ok()) return "not saved: " + Say(o, "cannot read", path_);
    if (info.readOnly) return "not saved: '" + path_ + "' is read-only; nothing was changed";
  }
  const std::string& bytes = document_.Bytes();
  std::string temp;
  FileOutcome o = ops_.WriteTemp(path_, bytes, temp);
  auto fail = [&](const FileOutcome& why, std::string_view doing, const std::string& path) {
    if (!temp.empty()) ops_.Remove(temp);
    return "not saved: " + Say(why, doing, path) + "; '" + path_ + "' is unchanged";
  };
  if (!o.ok()) return fail(o, "cannot write a new copy of", path_);
  if (stamp_.exists) {
    std::string backupTemp;
    o = ops_.WriteTemp(BackupPath(), old, backupTemp);
    if (o.ok()) o = ops_.Replace(backupTemp, BackupPath());
    if (!o.ok()) {
      if (!backupTemp.empty()) ops_.Remove(backupTemp);
      return fail(o, "cannot keep the backup", BackupPath());
    }
  }
  o = ops_.Replace(temp, path_);
  if (!o.ok()) return fail(o, "cannot replace", path_);
  temp.clear();
  FileOutcome again = ops_.Read(path_, kMaxSettingsBytes, old, info);
  stamp_ = again.ok() ? FileStamp{true, info.size, info.modified, ContentHash(old)}
                      : FileStamp{true, bytes.size(), 0, ContentHash(bytes)};
  return "";
}

}  // namespace zq

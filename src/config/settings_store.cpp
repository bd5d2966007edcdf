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

namespace {
FileOutcome NotHere() {
  return {FileFault::other, "this system's file calls cannot do that here"};
}
}  // namespace

FileOutcome SettingsFolder::List(std::vector<FolderEntry>&, size_t) {
  return NotHere();
}
FileOutcome SettingsFolder::OpenSub(const std::string&, std::unique_ptr<SettingsFolder>&) {
  return NotHere();
}
FileOutcome SettingsFolder::MakeFolder(const std::string&) {
  return NotHere();
}
FileOutcome SettingsFolder::RenameNew(const std::string&, const std::string&) {
  return NotHere();
}

void SettingsEditor::Rebind(std::string path, Locator locate) {
  path_ = std::move(path);
  locate_ = std::move(locate);
  folder_.reset();
  name_.clear();
  stamp_ = FileStamp{};
  document_ = SettingsDocument();
}

FileOutcome SettingsEditor::Locate(std::unique_ptr<SettingsFolder>& folder,
                                   std::string& name) const {
  return locate_ ? locate_(folder, name) : ops_.OpenFolder(path_, folder, name);
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
  std::unique_ptr<SettingsFolder> folder;
  std::string name;
  FileOutcome o = Locate(folder, name);
  if (o.fault == FileFault::missing) {  // not even its folder yet
    folder_.reset();
    stamp_ = FileStamp{};
    document_ = SettingsDocument();
    return "";
  }
  if (!o.ok()) return Say(o, "cannot read", path_);
  folder->RemoveStaleTemps(name);
  std::string bytes;
  FileInfo info;
  o = folder->Read(name, kMaxSettingsBytes, bytes, info);
  if (o.fault == FileFault::missing) {
    folder_ = std::move(folder);
    name_ = std::move(name);
    stamp_ = FileStamp{};
    document_ = SettingsDocument();
    return "";
  }
  if (!o.ok()) return Say(o, "cannot read", path_);
  folder_ = std::move(folder);
  name_ = std::move(name);
  stamp_ = FileStamp{true, info.size, info.modified, ContentHash(bytes), info.device, info.node};
  document_ = SettingsDocument(std::move(bytes));
  return "";
}

void SettingsEditor::StartNew(std::string bytes) {
  stamp_ = FileStamp{};
  document_ = SettingsDocument(std::move(bytes));
}

std::string SettingsEditor::Compare(std::string* bytes, FileInfo& info) const {
  const std::string refuse = "'" + path_ + "' ";
  if (!folder_) return stamp_.exists ? refuse + "cannot be found where it was read" : "";
  FileOutcome o = folder_->StillThere();
  if (!o.ok()) return refuse + "is not where it was read: " + o.detail;
  o = bytes != nullptr ? folder_->Read(name_, kMaxSettingsBytes, *bytes, info)
                       : folder_->Look(name_, info);
  if (o.fault == FileFault::missing) {
    return stamp_.exists ? refuse + "was removed since it was read" : "";
  }
  if (!stamp_.exists) return refuse + "was created by someone else since it was looked for";
  if (o.fault == FileFault::notRegular) {
    return refuse + "was replaced by " + o.detail + " since it was read";
  }
  if (!o.ok()) return Say(o, "cannot read", path_);
  const bool known = (stamp_.device | stamp_.node) != 0 && (info.device | info.node) != 0;
  if (known && (info.device != stamp_.device || info.node != stamp_.node)) {
    return refuse +
           "was replaced by another file since it was read: read it again and redo the "
           "change";
  }
  if (info.size != stamp_.size || info.modified != stamp_.modified ||
      (bytes != nullptr && ContentHash(*bytes) != stamp_.hash)) {
    return refuse + "changed on disk since it was read: read it again and redo the change";
  }
  return "";
}

std::string SettingsEditor::ChangedOnDisk() const {
  std::string bytes;
  FileInfo info;
  return Compare(&bytes, info);
}

// Order: the new text is written out in full before anything is replaced, so
// a full disk or a crash leaves the file and its backup as they were; then the
// backup takes the old text, then the file the new. Every step names a file
// in the folder found when the file was read.
std::string SettingsEditor::Save() {
  const std::string unchanged = "; '" + path_ + "' is unchanged";
  if (!folder_) {  // the folder did not exist when the file was looked for
    FileOutcome o = Locate(folder_, name_);
    if (!o.ok()) {
      folder_.reset();
      return "not saved: " + Say(o, "cannot write a new copy of", path_) + unchanged;
    }
  }
  std::string old;
  FileInfo info;
  std::string refusal = Compare(&old, info);
  if (!refusal.empty()) return "not saved: " + refusal;
  if (stamp_.exists && info.readOnly) {
    return "not saved: '" + path_ + "' is read-only; nothing was changed";
  }
  const std::string& bytes = document_.Bytes();
  std::string temp;
  FileOutcome o = folder_->WriteTemp(name_, bytes, temp);
  auto fail = [&](const FileOutcome& why, std::string_view doing, const std::string& path) {
    if (!temp.empty()) folder_->Remove(temp);
    return "not saved: " + Say(why, doing, path) + unchanged;
  };
  if (!o.ok()) return fail(o, "cannot write a new copy of", path_);
  if (stamp_.exists) {
    std::string backupTemp;
    o = folder_->WriteTemp(name_, old, backupTemp);
    if (o.ok()) o = folder_->Replace(backupTemp, name_ + ".bak");
    if (!o.ok()) {
      if (!backupTemp.empty()) folder_->Remove(backupTemp);
      return fail(o, "cannot keep the backup", BackupPath());
    }
  }
  // a last look, right before the name changes hands
  refusal = Compare(nullptr, info);
  if (!refusal.empty()) {
    folder_->Remove(temp);
    return "not saved: " + refusal;
  }
  o = folder_->Replace(temp, name_);
  if (!o.ok()) return fail(o, "cannot replace", path_);
  temp.clear();
  FileOutcome again = folder_->Read(name_, kMaxSettingsBytes, old, info);
  stamp_ = again.ok()
               ? FileStamp{true, info.size, info.modified, ContentHash(old), info.device, info.node}
               : FileStamp{true, bytes.size(), 0, ContentHash(bytes), 0, 0};
  return "";
}

}  // namespace zq

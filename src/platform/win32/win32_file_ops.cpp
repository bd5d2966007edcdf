// The settings store's file calls on Windows: wide-character paths, a folder
// found once and checked to be the same folder before each save, no link
// (reparse point) followed at the file's or the backup's name, a new file
// beside the original with the original's access rights, written through to
// disk, ReplaceFileW over an existing file (it keeps the original's
// attributes) or MoveFileExW.
#include <windows.h>
// after windows.h
#include <aclapi.h>

#include <random>

#include "config/settings_store.h"
#include "platform/win32/win32_ansi.h"

namespace zq {
namespace {

FileOutcome FromError(DWORD err) {
  char text[256] = "";
  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, err, 0, text,
                 sizeof text, nullptr);
  std::string detail = text;
  while (!detail.empty() &&
         (detail.back() == '\n' || detail.back() == '\r' || detail.back() == ' '))
    detail.pop_back();
  if (detail.empty()) detail = "system error " + std::to_string(err);
  switch (err) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return {FileFault::missing, detail};
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return {FileFault::noSpace, detail};
    case ERROR_ACCESS_DENIED:
      return {FileFault::noPermission, detail};
    case ERROR_WRITE_PROTECT:
      return {FileFault::readOnly, detail};
    default:
      return {FileFault::other, detail};
  }
}

struct Handle {
  HANDLE h = INVALID_HANDLE_VALUE;
  explicit Handle(HANDLE handle) : h(handle) {}
  ~Handle() {
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  bool ok() const { return h != INVALID_HANDLE_VALUE; }
};

// Whatever is at `path` itself, a link not followed.
HANDLE OpenItself(const std::wstring& path, DWORD access) {
  return CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                     nullptr, OPEN_EXISTING,
                     FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

FileOutcome KindOf(const BY_HANDLE_FILE_INFORMATION& fi) {
  if (fi.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
    return {FileFault::notRegular, "a link (reparse point)"};
  if (fi.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return {FileFault::notRegular, "a directory"};
  return {};
}

FileInfo InfoOf(const BY_HANDLE_FILE_INFORMATION& fi) {
  FileInfo info;
  info.size = static_cast<uint64_t>(fi.nFileSizeHigh) << 32 | fi.nFileSizeLow;
  info.modified =
      static_cast<int64_t>(static_cast<uint64_t>(fi.ftLastWriteTime.dwHighDateTime) << 32 |
                           fi.ftLastWriteTime.dwLowDateTime);
  info.readOnly = (fi.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
  info.device = fi.dwVolumeSerialNumber;
  info.node = static_cast<uint64_t>(fi.nFileIndexHigh) << 32 | fi.nFileIndexLow;
  // 100 ns steps since 1601 to seconds since 1970
  info.changed = (info.modified - 116444736000000000LL) / 10000000LL;
  return info;
}

// "<like>.XXXXXX", six letters or digits: the temporary files of a save.
bool IsTempOf(const std::wstring& entry, const std::wstring& like) {
  if (entry.size() != like.size() + 7 || entry.compare(0, like.size(), like) != 0 ||
      entry[like.size()] != L'.')
    return false;
  for (size_t i = like.size() + 1; i < entry.size(); ++i) {
    wchar_t c = entry[i];
    if (!((c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z')))
      return false;
  }
  return true;
}

// The user this process runs as owns the file.
bool OwnedByMe(HANDLE file) {
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (GetSecurityInfo(file, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                      nullptr, &sd) != ERROR_SUCCESS)
    return false;
  bool mine = false;
  HANDLE token = nullptr;
  if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
    alignas(8) unsigned char buffer[256];
    DWORD size = 0;
    if (GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size)) {
      mine = EqualSid(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, owner) != 0;
    }
    CloseHandle(token);
  }
  LocalFree(sd);
  return mine;
}

class Win32Folder : public SettingsFolder {
 public:
  Win32Folder(std::wstring path, const BY_HANDLE_FILE_INFORMATION& fi)
      : path_(std::move(path)),
        volume_(fi.dwVolumeSerialNumber),
        index_(static_cast<uint64_t>(fi.nFileIndexHigh) << 32 | fi.nFileIndexLow) {}

  FileOutcome StillThere() override {
    Handle dir(OpenItself(path_, FILE_READ_ATTRIBUTES));
    const std::string shown = "its folder '" + Narrow(path_) + "'";
    if (!dir.ok()) return {FileFault::other, shown + " is gone"};
    BY_HANDLE_FILE_INFORMATION fi;
    if (!GetFileInformationByHandle(dir.h, &fi)) return FromError(GetLastError());
    if (fi.dwVolumeSerialNumber != volume_ ||
        (static_cast<uint64_t>(fi.nFileIndexHigh) << 32 | fi.nFileIndexLow) != index_ ||
        (fi.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
      return {FileFault::other, shown + " was moved or replaced since"};
    return {};
  }

  FileOutcome Look(const std::string& name, FileInfo& info) override {
    Handle h(OpenItself(In(name), FILE_READ_ATTRIBUTES));
    if (!h.ok()) return FromError(GetLastError());
    BY_HANDLE_FILE_INFORMATION fi;
    if (!GetFileInformationByHandle(h.h, &fi)) return FromError(GetLastError());
    FileOutcome kind = KindOf(fi);
    if (kind.ok()) info = InfoOf(fi);
    return kind;
  }

  FileOutcome Read(const std::string& name, uint64_t limit, std::string& bytes,
                   FileInfo& info) override {
    Handle h(CreateFileW(In(name).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                         nullptr, OPEN_EXISTING,
                         FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!h.ok()) return FromError(GetLastError());
    BY_HANDLE_FILE_INFORMATION fi;
    if (!GetFileInformationByHandle(h.h, &fi)) return FromError(GetLastError());
    FileOutcome kind = KindOf(fi);
    if (!kind.ok()) return kind;
    if (GetFileType(h.h) != FILE_TYPE_DISK) return {FileFault::notRegular, "a device or pipe"};
    uint64_t size = static_cast<uint64_t>(fi.nFileSizeHigh) << 32 | fi.nFileSizeLow;
    if (size > limit) return {FileFault::tooLarge, ""};
    bytes.assign(static_cast<size_t>(size), '\0');
    size_t got = 0;
    while (got < bytes.size()) {
      DWORD n = 0;
      if (!ReadFile(h.h, bytes.data() + got, static_cast<DWORD>(bytes.size() - got), &n, nullptr))
        return FromError(GetLastError());
      if (n == 0) break;
      got += n;
    }
    bytes.resize(got);
    info = InfoOf(fi);
    return {};
  }

  FileOutcome WriteTemp(const std::string& like, std::string_view bytes,
                        std::string& tempName) override {
    like_ = like;
    // the access rights of the file it will replace or back up
    PSECURITY_DESCRIPTOR sd = nullptr;
    SECURITY_ATTRIBUTES rights{sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
    {
      Handle file(OpenItself(In(like), READ_CONTROL));
      BY_HANDLE_FILE_INFORMATION fi;
      if (file.ok() && GetFileInformationByHandle(file.h, &fi) && KindOf(fi).ok() &&
          GetSecurityInfo(file.h, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                          nullptr, nullptr, &sd) == ERROR_SUCCESS) {
        rights.lpSecurityDescriptor = sd;
      }
    }
    static const char kLetters[] = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
    std::random_device random;
    FileOutcome out{FileFault::other, "no free name for a temporary file"};
    for (int tries = 0; tries < 100; ++tries) {
      std::string name = like + ".";
      for (int i = 0; i < 6; ++i) name += kLetters[random() % (sizeof kLetters - 1)];
      // CREATE_NEW: never a file or link that is already there
      Handle h(CreateFileW(In(name).c_str(), GENERIC_WRITE, 0, &rights, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
      if (!h.ok()) {
        DWORD err = GetLastError();
        if (err == ERROR_FILE_EXISTS || err == ERROR_ALREADY_EXISTS) continue;
        out = FromError(err);
        break;
      }
      tempName = name;
      bool ok = true;
      while (ok && !bytes.empty()) {
        DWORD put = 0;
        ok = WriteFile(h.h, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr) != 0;
        bytes.remove_prefix(put);
      }
      ok = ok && FlushFileBuffers(h.h);
      out = ok ? FileOutcome{} : FromError(GetLastError());
      break;
    }
    if (sd != nullptr) LocalFree(sd);
    return out;
  }

  FileOutcome Replace(const std::string& from, const std::string& to) override {
    std::wstring wf = In(from), wt = In(to);
    FileInfo there;
    FileOutcome look = Look(to, there);
    if (look.fault == FileFault::notRegular) {
      return {FileFault::other, "'" + to + "' is " + look.detail + ", not replaced"};
    }
    // the file itself keeps its attributes; a backup takes the temporary file's rights
    if (to == like_ && look.ok() &&
        ReplaceFileW(wt.c_str(), wf.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr,
                     nullptr)) {
      return {};
    }
    if (MoveFileExW(wf.c_str(), wt.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
      return {};
    return FromError(GetLastError());
  }

  void Remove(const std::string& name) override { DeleteFileW(In(name).c_str()); }

  FileOutcome List(std::vector<FolderEntry>& entries, size_t limit) override {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(Joined(L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return FromError(GetLastError());
    do {
      const std::wstring entry = found.cFileName;
      if (entry == L"." || entry == L".." ||
          (found.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE)))
        continue;
      if (entries.size() >= limit) break;
      FolderEntry e;
      e.name = Narrow(entry);
      e.folder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
      e.info.size = static_cast<uint64_t>(found.nFileSizeHigh) << 32 | found.nFileSizeLow;
      e.info.modified =
          static_cast<int64_t>(static_cast<uint64_t>(found.ftLastWriteTime.dwHighDateTime) << 32 |
                               found.ftLastWriteTime.dwLowDateTime);
      e.info.changed = (e.info.modified - 116444736000000000LL) / 10000000LL;
      entries.push_back(std::move(e));
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return {};
  }

  FileOutcome OpenSub(const std::string& name, std::unique_ptr<SettingsFolder>& sub) override {
    std::wstring where = name == "." ? path_ : In(name);
    Handle h(OpenItself(where, FILE_READ_ATTRIBUTES));
    if (!h.ok()) return FromError(GetLastError());
    BY_HANDLE_FILE_INFORMATION fi;
    if (!GetFileInformationByHandle(h.h, &fi)) return FromError(GetLastError());
    if (fi.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
      return {FileFault::notRegular, "a link (reparse point)"};
    if (!(fi.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
      return {FileFault::notRegular, "not a folder"};
    sub = std::make_unique<Win32Folder>(where, fi);
    return {};
  }

  FileOutcome MakeFolder(const std::string& name) override {
    if (!CreateDirectoryW(In(name).c_str(), nullptr)) return FromError(GetLastError());
    return {};
  }

  FileOutcome RenameNew(const std::string& from, const std::string& to) override {
    // without MOVEFILE_REPLACE_EXISTING nothing at `to` is ever replaced
    if (!MoveFileExW(In(from).c_str(), In(to).c_str(), MOVEFILE_WRITE_THROUGH))
      return FromError(GetLastError());
    return {};
  }

  void RemoveStaleTemps(const std::string& like) override {
    const std::wstring wlike = Wide(like), backup = wlike + L".bak";
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(Joined(wlike + L".*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    FILETIME nowTime;
    GetSystemTimeAsFileTime(&nowTime);
    const uint64_t now =
        static_cast<uint64_t>(nowTime.dwHighDateTime) << 32 | nowTime.dwLowDateTime;
    const uint64_t minute = 60ull * 10000000ull;  // in 100 ns
    do {
      const std::wstring entry = found.cFileName;
      if (!IsTempOf(entry, wlike) && !IsTempOf(entry, backup)) continue;
      if (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))
        continue;
      const uint64_t written = static_cast<uint64_t>(found.ftLastWriteTime.dwHighDateTime) << 32 |
                               found.ftLastWriteTime.dwLowDateTime;
      if (now < written + minute) continue;  // a save in progress elsewhere
      const std::wstring full = Joined(entry);
      bool mine;
      {
        Handle h(OpenItself(full, READ_CONTROL));
        mine = h.ok() && OwnedByMe(h.h);
      }
      if (mine) DeleteFileW(full.c_str());
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }

 private:
  std::wstring In(const std::string& name) const { return Joined(Wide(name)); }
  std::wstring Joined(const std::wstring& name) const {
    const bool separated = !path_.empty() && (path_.back() == L'\\' || path_.back() == L'/');
    return path_ + (separated ? L"" : L"\\") + name;
  }

  std::wstring path_;
  DWORD volume_;
  uint64_t index_;
  std::string like_;
};

class Win32FileOps : public FileOps {
 public:
  FileOutcome OpenFolder(const std::string& path, std::unique_ptr<SettingsFolder>& folder,
                         std::string& name) override {
    std::wstring w = Wide(path);
    DWORD n = GetFullPathNameW(w.c_str(), 0, nullptr, nullptr);
    if (n == 0) return FromError(GetLastError());
    std::wstring full(n, L'\0');
    wchar_t* leaf = nullptr;
    n = GetFullPathNameW(w.c_str(), n, full.data(), &leaf);
    if (n == 0 || n >= full.size()) return FromError(GetLastError());
    if (leaf == nullptr) return {FileFault::notRegular, "a directory"};
    const size_t at = static_cast<size_t>(leaf - full.data());
    std::wstring leafName(full.data() + at, n - at);
    std::wstring dir = full.substr(0, at);
    while (dir.size() > 1 && (dir.back() == L'\\' || dir.back() == L'/') &&
           dir[dir.size() - 2] != L':')
      dir.pop_back();
    Handle h(CreateFileW(dir.c_str(), FILE_READ_ATTRIBUTES,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!h.ok()) return FromError(GetLastError());
    BY_HANDLE_FILE_INFORMATION fi;
    if (!GetFileInformationByHandle(h.h, &fi)) return FromError(GetLastError());
    if (!(fi.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return FromError(ERROR_PATH_NOT_FOUND);
    folder = std::make_unique<Win32Folder>(dir, fi);
    name = Narrow(leafName);
    return {};
  }
};

}  // namespace

std::unique_ptr<FileOps> MakePlatformFileOps() {
  return std::make_unique<Win32FileOps>();
}

}  // namespace zq

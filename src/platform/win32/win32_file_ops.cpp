// The settings store's file calls on Windows: wide-character paths, a new
// file beside the original written through to disk, ReplaceFileW over an
// existing file (it keeps the original's attributes) or MoveFileExW.
#include <windows.h>

#include "config/settings_store.h"

namespace zq {
namespace {

std::wstring Wide(const std::string& s) {
  if (s.empty()) return L"";
  int n = MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring w(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
  return w;
}

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

class Win32FileOps : public FileOps {
 public:
  FileOutcome Read(const std::string& path, uint64_t limit, std::string& bytes,
                   FileInfo& info) override {
    std::wstring w = Wide(path);
    DWORD attrs = GetFileAttributesW(w.c_str());
    if (attrs == INVALID_FILE_ATTRIBUTES) return FromError(GetLastError());
    if (attrs & FILE_ATTRIBUTE_DIRECTORY) return {FileFault::notRegular, "a directory"};
    HANDLE h = CreateFileW(w.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return FromError(GetLastError());
    FileOutcome out;
    BY_HANDLE_FILE_INFORMATION fi;
    if (GetFileType(h) != FILE_TYPE_DISK) {
      out = {FileFault::notRegular, "a device or pipe"};
    } else if (!GetFileInformationByHandle(h, &fi)) {
      out = FromError(GetLastError());
    } else {
      uint64_t size = static_cast<uint64_t>(fi.nFileSizeHigh) << 32 | fi.nFileSizeLow;
      if (size > limit) {
        out = {FileFault::tooLarge, ""};
      } else {
        bytes.assign(static_cast<size_t>(size), '\0');
        size_t got = 0;
        while (got < bytes.size()) {
          DWORD n = 0;
          if (!ReadFile(h, bytes.data() + got, static_cast<DWORD>(bytes.size() - got), &n,
                        nullptr)) {
            out = FromError(GetLastError());
            break;
          }
          if (n == 0) break;
          got += n;
        }
        bytes.resize(got);
        info.size = size;
        info.modified =
            static_cast<int64_t>(static_cast<uint64_t>(fi.ftLastWriteTime.dwHighDateTime) << 32 |
                                 fi.ftLastWriteTime.dwLowDateTime);
        info.readOnly = (fi.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
      }
    }
    CloseHandle(h);
    return out;
  }

  FileOutcome WriteTemp(const std::string& near, std::string_view bytes,
                        std::string& tempPath) override {
    for (unsigned n = GetTickCount() % 100000, tries = 0; tries < 100; ++n, ++tries) {
      std::string name = near + "." + std::to_string(n) + ".tmp";
      HANDLE h = CreateFileW(Wide(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
      if (h == INVALID_HANDLE_VALUE) {
        DWORD err = GetLastError();
        if (err == ERROR_FILE_EXISTS || err == ERROR_ALREADY_EXISTS) continue;
        return FromError(err);
      }
      tempPath = name;
      bool ok = true;
      while (ok && !bytes.empty()) {
        DWORD put = 0;
        ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr) != 0;
        bytes.remove_prefix(put);
      }
      ok = ok && FlushFileBuffers(h);
      DWORD err = ok ? 0 : GetLastError();
      CloseHandle(h);
      return ok ? FileOutcome{} : FromError(err);
    }
    return {FileFault::other, "no free name for a temporary file"};
  }

  FileOutcome Replace(const std::string& from, const std::string& to) override {
    std::wstring wf = Wide(from), wt = Wide(to);
    if (GetFileAttributesW(wt.c_str()) != INVALID_FILE_ATTRIBUTES &&
        ReplaceFileW(wt.c_str(), wf.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr,
                     nullptr)) {
      return {};
    }
    if (MoveFileExW(wf.c_str(), wt.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
      return {};
    return FromError(GetLastError());
  }

  void Remove(const std::string& path) override { DeleteFileW(Wide(path).c_str()); }
};

}  // namespace

std::unique_ptr<FileOps> MakePlatformFileOps() {
  return std::make_unique<Win32FileOps>();
}

}  // namespace zq

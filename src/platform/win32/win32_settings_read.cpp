// The settings file read once, whole and bounded, for the tools built for
// Windows (the Windows panel itself reads through the profile call).
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "config/settings_snapshot.h"

namespace zq {
namespace {

SettingsFileText FromError(const std::error_code& ec) {
  if (ec == std::errc::no_such_file_or_directory || ec == std::errc::not_a_directory) {
    return SettingsFileFailure(SettingsFileState::missing);
  }
  if (ec == std::errc::permission_denied)
    return SettingsFileFailure(SettingsFileState::permissionDenied);
  if (ec == std::errc::too_many_symbolic_link_levels) {
    return SettingsFileFailure(SettingsFileState::symlinkLoop);
  }
  return SettingsFileFailure(SettingsFileState::ioError, ec.message());
}

}  // namespace

SettingsFileText ReadSettingsFile(const std::string& path, uint64_t limit) {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::file_status status = fs::status(path, ec);
  if (ec) return FromError(ec);
  if (fs::is_directory(status)) return SettingsFileFailure(SettingsFileState::directory);
  if (!fs::is_regular_file(status))
    return SettingsFileFailure(SettingsFileState::notRegularFile, "a device");
  uint64_t size = fs::file_size(path, ec);
  if (ec) return FromError(ec);
  SettingsFileText f;
  f.size = size;
  if (size > limit) {
    f.state = SettingsFileState::tooLarge;
    return f;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) return SettingsFileFailure(SettingsFileState::permissionDenied);
  // A file that grows while it is read is read up to one byte past the limit.
  std::string& t = f.text;
  t.resize(static_cast<size_t>(size) + 1);
  size_t got = 0;
  while (in) {
    if (got == t.size()) {
      if (got > limit) break;
      t.resize(static_cast<size_t>(std::min<uint64_t>(limit + 1, 2 * got + 4096)));
    }
    in.read(t.data() + got, static_cast<std::streamsize>(t.size() - got));
    got += static_cast<size_t>(in.gcount());
  }
  if (in.bad()) return SettingsFileFailure(SettingsFileState::ioError, "the file cannot be read");
  if (got > limit) {
    t.clear();
    f.size = got;
    f.state = SettingsFileState::tooLarge;
    return f;
  }
  f.text.resize(got);
  f.state = SettingsFileState::read;
  return f;
}

}  // namespace zq

#include "config/settings_near_miss.h"

#include <algorithm>

#include "config/settings_file.h"

namespace zq {
namespace {

bool IsNearMiss(std::string_view name, std::string_view wanted) {
  if (name == wanted) return false;
  if (EqualsNoCase(name, wanted)) return true;
  // "Setup.ini.txt": one more ending, behind a dot.
  return name.size() > wanted.size() + 1 && EqualsNoCase(name.substr(0, wanted.size()), wanted) &&
         name[wanted.size()] == '.' && name.find('.', wanted.size() + 1) == std::string_view::npos;
}

}  // namespace

std::vector<std::string> NearMissSettingsFiles(const std::filesystem::path& folder,
                                               std::string_view wanted) {
  std::vector<std::string> found;
  std::error_code ec;
  std::filesystem::directory_iterator it(folder, ec), end;
  for (; !ec && it != end; it.increment(ec)) {
    std::string name = it->path().filename().string();
    if (!IsNearMiss(name, wanted)) continue;
    std::error_code typeError;
    if (std::filesystem::is_regular_file(it->path(), typeError)) found.push_back(std::move(name));
  }
  std::sort(found.begin(), found.end());
  return found;
}

}  // namespace zq

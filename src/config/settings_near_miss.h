// Files beside a missing Setup.ini that a player most likely meant as it.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace zq {

// Names in `folder` that are not `wanted` but were probably meant to be:
// the same name in another letter case ("setup.ini"), or the name with an
// ending a file manager hides ("Setup.ini.txt", in any case). Sorted; empty
// when the folder cannot be listed. Only files and links to files count.
std::vector<std::string> NearMissSettingsFiles(const std::filesystem::path& folder,
                                               std::string_view wanted = "Setup.ini");

}  // namespace zq

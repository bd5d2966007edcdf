// The page's files, built into the program from web/ (no file is ever
// served from disk).
#pragma once

#include <cstddef>
#include <string_view>

namespace zq::setup::ui {

struct WebAsset {
  std::string_view path;  // "/app.js"
  std::string_view contentType;
  std::string_view bytes;
};

extern const WebAsset kWebAssets[];
extern const size_t kWebAssetCount;

}  // namespace zq::setup::ui

// The file's own port: its path hashed into a range of its own.
#include <cstdint>
#include <filesystem>
#include <system_error>
#include <type_traits>

#include "zq_setup/ui/ui_http.h"

namespace zq::setup::ui {

namespace {

namespace fs = std::filesystem;

// A file not made yet has no canonical form: its folder's, and its name.
fs::path Canonical(const std::string& path) {
  std::error_code ec;
  fs::path full = fs::absolute(fs::path(path), ec);
  if (ec) full = fs::path(path);
  fs::path canonical = fs::weakly_canonical(full, ec);
  return ec ? full.lexically_normal() : canonical;
}

}  // namespace

std::string CanonicalPath(const std::string& path) {
  std::u8string text = Canonical(path).u8string();
  return std::string(text.begin(), text.end());
}

unsigned short FilePort(const std::string& path) {
  fs::path canonical = Canonical(path);
  uint32_t hash = 2166136261u;  // FNV-1a over the system's own path characters
  for (auto c : canonical.native()) {
    uint32_t unit = static_cast<std::make_unsigned_t<decltype(c)>>(c);
    for (int shift = 0; shift < 32; shift += 8) {
      hash ^= (unit >> shift) & 0xFFu;
      hash *= 16777619u;
    }
  }
  return static_cast<unsigned short>(kFilePortFirst + hash % kFilePortCount);
}

}  // namespace zq::setup::ui

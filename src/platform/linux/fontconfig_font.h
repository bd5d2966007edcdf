// Finding the panel's font file: an 8-point sans with Cyrillic.
#pragma once

#include <string>

namespace zq {

constexpr const char* kFontFamily = "DejaVu Sans";
// Where Debian's fonts-dejavu-core puts it, used when fontconfig does not
// answer.
constexpr const char* kFontFallbackPath = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
// Names another font file (for a system without DejaVu Sans, and for tests).
constexpr const char* kFontEnvironment = "ZQ_FONT";

// The file of the panel's font; empty, with `error` saying what was tried,
// when there is none.
std::string FindPanelFont(std::string& error);

// DejaVu Sans as fontconfig finds it, else at its Debian place; ZQ_FONT
// does not count (the error box shows even when that file is bad).
std::string FindDejaVuSans(std::string& error);

}  // namespace zq

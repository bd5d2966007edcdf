#include "platform/linux/fontconfig_font.h"

#include <fontconfig/fontconfig.h>
#include <unistd.h>

#include <strings.h>
#include <cstdlib>
#include <cstring>

namespace zq {
namespace {

bool Readable(const std::string& path) {
  return !path.empty() && ::access(path.c_str(), R_OK) == 0;
}

// fontconfig always answers with some font; only a real DejaVu Sans counts.
std::string AskFontconfig() {
  std::string found;
  if (!FcInit()) return found;
  FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>("DejaVu Sans:style=Book"));
  if (pattern != nullptr) {
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    if (match != nullptr) {
      FcChar8* family = nullptr;
      FcChar8* file = nullptr;
      if (FcPatternGetString(match, FC_FAMILY, 0, &family) == FcResultMatch &&
          FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch &&
          strcasecmp(reinterpret_cast<const char*>(family), kFontFamily) == 0) {
        found = reinterpret_cast<const char*>(file);
      }
      FcPatternDestroy(match);
    }
    FcPatternDestroy(pattern);
  }
  // The panel runs for hours: give back fontconfig's caches.
  FcFini();
  return found;
}

}  // namespace

std::string FindPanelFont(std::string& error) {
  if (const char* forced = std::getenv(kFontEnvironment); forced != nullptr && *forced != '\0') {
    if (Readable(forced)) return forced;
    error = std::string("the font file \"") + forced + "\" named by " + kFontEnvironment +
            " cannot be read";
    return {};
  }
  return FindDejaVuSans(error);
}

std::string FindDejaVuSans(std::string& error) {
  std::string path = AskFontconfig();
  if (Readable(path)) return path;
  if (Readable(kFontFallbackPath)) return kFontFallbackPath;
  error = std::string("the font ") + kFontFamily + " was not found (asked fontconfig, then " +
          kFontFallbackPath + "); install the package fonts-dejavu-core";
  return {};
}

}  // namespace zq

#include "zq_check/slot_words.h"

#include "config/curve_bank.h"
#include "control/control_state.h"

namespace zq::check {
namespace {

// “убраны” (retracted), “боевые” (combat), ... or, numbered, 0 “убраны” retracted, ...
std::string FlapPositions(bool numbered) {
  std::string out;
  for (size_t i = 0; i < kFlapTable.size(); ++i) {
    const FlapRow& row = kFlapTable[i];
    std::string shown(StripControls(row.text));
    if (i > 0) out += ", ";
    if (numbered) {
      out += std::to_string(i) + " “" + shown + "” " + std::string(row.meaning);
    } else {
      out += "“" + shown + "” (" + std::string(row.meaning) + ")";
    }
  }
  return out;
}

}  // namespace

std::string SlotWhat(const SlotWords& words) {
  std::string what(words.what);
  if (words.slot == slots::flapsdown) return what + FlapPositions(false);
  if (words.slot == slots::chat) {
    return "the panel shows “" + std::string(kChatText) + "” (" + std::string(kChatMeaning) + ")" +
           what;
  }
  return what;
}

std::string ValueWhat(const IntegerSetting& setting) {
  if (setting.field == &LoadedSettings::windowX)
    return "Left edge of the panel in pixels (−1: at the right edge of the screen)";
  if (setting.field == &LoadedSettings::windowY)
    return "Top edge in pixels (−1: the screen height divided by 1.6)";
  if (setting.field == &LoadedSettings::startTrim)
    return "Pitch trim the power key puts back, in hundredths";
  if (setting.field == &LoadedSettings::startFlaps)
    return "Flap position the power key puts back (" + FlapPositions(true) + ")";
  return "";
}

}  // namespace zq::check

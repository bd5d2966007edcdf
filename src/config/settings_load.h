// The settings load: bindings, polling sets, curve bank, window position and
// start values from section "main".
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "config/binding.h"
#include "config/curve_bank.h"
#include "config/settings_file.h"

namespace zq {

struct LoadedSettings {
  BindingTable bindings{};
  KeySet watchedKeys{};
  JoySet joyUsed{};
  int32_t windowX = 0;
  int32_t windowY = 0;
  int32_t startTrim = 0;
  int32_t startFlaps = 0;
};

// The keys of "main" that are neither bindings nor curves (curve keys:
// CurveKey and kTrimCurveKeys), read last in this order, with their defaults
// and the field each fills.
struct IntegerSetting {
  std::string_view key;
  int32_t defaultValue;
  int32_t LoadedSettings::*field;
};
constexpr std::array<IntegerSetting, 4> kIntegerSettings = {{
    {"WindowX", -1, &LoadedSettings::windowX},  // -1: the default placement
    {"WindowY", -1, &LoadedSettings::windowY},
    {"starttrim", 0, &LoadedSettings::startTrim},
    {"startflaps", 0, &LoadedSettings::startFlaps},
}};

// Enter, Escape and Num Lock: read by the tick whatever the bindings say.
KeySet StartWatchedKeys();

// Fills `out` and `bank` in the load's order: watched keys {13, 27, 144},
// the 25 bindings, the curves, WindowX, WindowY, starttrim, startflaps. A
// malformed binding number ends the load there: what follows keeps its zero
// start value and the error is returned.
std::optional<BindingLoadError> LoadSettings(const SettingsLookup& settings,
                                             const KeyCharMap& keyMap, LoadedSettings& out,
                                             CurveBank& bank);

}  // namespace zq

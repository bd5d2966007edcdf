#include "config/settings_load.h"

#include "config/virtual_keys.h"

namespace zq {

KeySet StartWatchedKeys() {
  KeySet keys;
  keys.Add(kVkEnter);
  keys.Add(kVkEscape);
  keys.Add(kVkNumLock);
  return keys;
}

std::optional<BindingLoadError> LoadSettings(const SettingsLookup& settings,
                                             const KeyCharMap& keyMap, LoadedSettings& out,
                                             CurveBank& bank) {
  out.watchedKeys = StartWatchedKeys();
  if (auto error = LoadBindings(settings, keyMap, out.bindings, out.watchedKeys, out.joyUsed)) {
    return error;
  }
  LoadCurves(settings, bank);
  int32_t* const targets[] = {&out.windowX, &out.windowY, &out.startTrim, &out.startFlaps};
  for (size_t i = 0; i < kIntegerSettings.size(); ++i) {
    const IntegerSetting& s = kIntegerSettings[i];
    *targets[i] = ReadInt(settings, "main", s.key, s.defaultValue);
  }
  return std::nullopt;
}

}  // namespace zq

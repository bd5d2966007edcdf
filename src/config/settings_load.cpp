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
  for (const IntegerSetting& s : kIntegerSettings) {
    out.*s.field = ReadInt(settings, "main", s.key, s.defaultValue);
  }
  return std::nullopt;
}

}  // namespace zq

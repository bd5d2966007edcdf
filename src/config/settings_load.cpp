#include "config/settings_load.h"

namespace zq {

KeySet StartWatchedKeys() {
  KeySet keys;
  keys.Add(13);
  keys.Add(27);
  keys.Add(144);
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
  out.windowX = ReadInt(settings, "main", "WindowX", -1);
  out.windowY = ReadInt(settings, "main", "WindowY", -1);
  out.startTrim = ReadInt(settings, "main", "starttrim", 0);
  out.startFlaps = ReadInt(settings, "main", "startflaps", 0);
  return std::nullopt;
}

}  // namespace zq

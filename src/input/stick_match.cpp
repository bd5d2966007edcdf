#include "input/stick_match.h"

#include "config/settings_file.h"

namespace zq {
namespace {

bool Both(const StickText& a, const StickText& b) {
  return !a.Empty() && !b.Empty();
}

bool SameNoCase(std::string_view a, std::string_view b) {
  return EqualsNoCase(a, b);
}

// How well a device answers a pin, higher first: serial or GUID, then port
// path, then the name, each adding to the ones below so that a device that
// agrees on more wins over a twin that agrees on less. 1 is the name alone.
int Score(const StickIdentity& pin, const StickIdentity& device) {
  if (!PinFits(pin, device)) return 0;
  int score = 0;
  if ((Both(pin.serial, device.serial) && pin.serial.View() == device.serial.View()) ||
      (Both(pin.guid, device.guid) && SameNoCase(pin.guid.View(), device.guid.View()))) {
    score += 4;
  }
  if (Both(pin.path, device.path) && pin.path.View() == device.path.View()) score += 2;
  if (!pin.name.Empty() && pin.name.View() == device.name.View()) score += 1;
  return score;
}

MatchedBy ByOf(const StickIdentity& pin, const StickIdentity& device) {
  if (Both(pin.serial, device.serial) && pin.serial.View() == device.serial.View()) {
    return MatchedBy::serial;
  }
  if (Both(pin.guid, device.guid)) return MatchedBy::guid;
  if (Both(pin.path, device.path)) return MatchedBy::path;
  return MatchedBy::name;
}

constexpr int kBestScore = 7;

}  // namespace

std::vector<StickPinError> LoadStickPins(const SettingsLookup& settings, StickPins& pins) {
  std::vector<StickPinError> errors;
  pins = StickPins{};
  for (int id = 0; id < kJoystickCount; ++id) {
    const std::string key = std::to_string(id);
    if (!settings.HasKey(kSticksSection, key)) continue;
    std::string text = settings.ReadText(kSticksSection, key, "");
    // An empty line pins nothing, as an empty binding binds nothing.
    if (TrimProfileBlanks(text).empty()) continue;
    StickIdentity device;
    if (std::optional<std::string> error = ParseStickPin(text, device)) {
      errors.push_back({id, *error});
      continue;
    }
    pins.pinned[static_cast<size_t>(id)] = true;
    pins.device[static_cast<size_t>(id)] = device;
  }
  return errors;
}

StickMap IdentityStickMap() {
  StickMap map;
  for (int id = 0; id < kJoystickCount; ++id) map.slot[static_cast<size_t>(id)] = int8_t(id);
  return map;
}

bool PinFits(const StickIdentity& pin, const StickIdentity& device) {
  if (!device.HasIds() || pin.vendor != device.vendor || pin.product != device.product) {
    return false;
  }
  if (Both(pin.serial, device.serial) && pin.serial.View() != device.serial.View()) return false;
  if (Both(pin.guid, device.guid) && !SameNoCase(pin.guid.View(), device.guid.View())) {
    return false;
  }
  // The same serial or GUID is the device itself, in whatever port.
  if (Both(pin.serial, device.serial) || Both(pin.guid, device.guid)) return true;
  return !(Both(pin.path, device.path) && pin.path.View() != device.path.View());
}

MatchedBy PinStrength(const StickIdentity& pin) {
  if (!pin.serial.Empty()) return MatchedBy::serial;
  if (!pin.guid.Empty()) return MatchedBy::guid;
  if (!pin.path.Empty()) return MatchedBy::path;
  return MatchedBy::name;
}

const char* MatchedByText(MatchedBy by) {
  switch (by) {
    case MatchedBy::serial:
      return "serial";
    case MatchedBy::guid:
      return "GUID";
    case MatchedBy::path:
      return "port path";
    case MatchedBy::name:
      return "name";
    case MatchedBy::none:
      break;
  }
  return "nothing";
}

void MatchSticks(const StickPins& pins, std::span<const PresentStick> present, StickMap& map) {
  map = StickMap{};
  // Present devices by system id; a second device claiming the same id is
  // the system's mistake and is not read.
  std::array<const StickIdentity*, kJoystickCount> at{};
  for (const PresentStick& p : present) {
    if (p.slot >= 0 && p.slot < kJoystickCount && at[static_cast<size_t>(p.slot)] == nullptr) {
      at[static_cast<size_t>(p.slot)] = &p.identity;
    }
  }
  uint16_t claimed = 0;   // found by a pin
  uint16_t withheld = 0;  // twins a pin cannot choose from: no unpinned id gets them
  std::array<bool, kJoystickCount> decided{};
  for (int level = kBestScore; level >= 1; --level) {
    for (int id = 0; id < kJoystickCount; ++id) {
      const size_t i = static_cast<size_t>(id);
      if (!pins.pinned[i] || decided[i]) continue;
      uint16_t candidates = 0;
      int count = 0, last = -1;
      for (int s = 0; s < kJoystickCount; ++s) {
        const StickIdentity* device = at[static_cast<size_t>(s)];
        if (device == nullptr || ((claimed >> s) & 1) != 0) continue;
        if (Score(pins.device[i], *device) != level) continue;
        candidates = static_cast<uint16_t>(candidates | (1u << s));
        ++count;
        last = s;
      }
      if (count == 0) continue;
      decided[i] = true;
      if (count == 1) {
        claimed = static_cast<uint16_t>(claimed | candidates);
        map.state[i] = PinState::found;
        map.slot[i] = static_cast<int8_t>(last);
        map.by[i] = ByOf(pins.device[i], *at[static_cast<size_t>(last)]);
      } else {
        withheld = static_cast<uint16_t>(withheld | candidates);
        map.state[i] = PinState::ambiguous;
        map.slot[i] = -1;
        map.twins[i] = candidates;
      }
    }
  }
  // The ids not pinned, in order, take the system ids left, in order.
  const uint16_t taken = static_cast<uint16_t>(claimed | withheld);
  int next = 0;
  for (int id = 0; id < kJoystickCount; ++id) {
    const size_t i = static_cast<size_t>(id);
    if (pins.pinned[i]) {
      if (!decided[i]) {
        map.state[i] = PinState::missing;
        map.slot[i] = -1;
      }
      continue;
    }
    while (next < kJoystickCount && ((taken >> next) & 1) != 0) ++next;
    map.slot[i] = static_cast<int8_t>(next < kJoystickCount ? next : -1);
    map.state[i] = PinState::unpinned;
    if (next < kJoystickCount) ++next;
  }
}

}  // namespace zq

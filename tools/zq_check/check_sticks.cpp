// The [sticks] section: each pin in words, lines that pin nothing, pins
// that share a device, twins nothing tells apart, pins no binding uses.
#include "input/stick_match.h"
#include "zq_check/check_steps.h"

namespace zq::check {
namespace {

bool Same(const StickText& a, const StickText& b) {
  return !a.Empty() && a.View() == b.View();
}

bool Strong(const StickIdentity& d) {
  return !d.serial.Empty() || !d.guid.Empty();
}

// The lines of one device for both: the same serial or GUID, the same port
// where neither has one, the same name where neither has anything else.
bool OneDevice(const StickIdentity& a, const StickIdentity& b) {
  if (a.vendor != b.vendor || a.product != b.product) return false;
  if (Same(a.serial, b.serial) || Same(a.guid, b.guid)) return true;
  if (Strong(a) || Strong(b)) return false;
  if (Same(a.path, b.path)) return true;
  return a.path.Empty() && b.path.Empty() && a.name.View() == b.name.View();
}

std::string PinMeaning(const StickIdentity& pin) {
  switch (PinStrength(pin)) {
    case MatchedBy::serial:
      return "found by its serial, in whatever port it is plugged";
    case MatchedBy::guid:
      return "found by its instance GUID (Windows)";
    case MatchedBy::path:
      return "found in this USB port only (its port path); a twin in another port is not taken";
    default:
      return "found by VID:PID and name, only while no twin is connected";
  }
}

struct PinLine {
  int id;
  int line;
  StickIdentity device;
};

}  // namespace

void CheckSticks(const ProfileText& profile, CheckResult& r) {
  const ProfileText::Section* sticks = profile.FindSection(kSticksSection);
  if (sticks == nullptr) return;
  std::vector<PinLine> pins;
  for (const ProfileText::Entry& e : sticks->entries) {
    if (!e.hasValue) continue;
    int id = -1;
    if (e.name.size() <= 2 && !e.name.empty()) {
      id = 0;
      for (char c : e.name) id = (c >= '0' && c <= '9' && id >= 0) ? id * 10 + (c - '0') : -1;
      // "00" or "07" is not read as 0 or 7: the panel looks up "0" and "7"
      if (e.name.size() == 2 && e.name[0] == '0') id = -1;
    }
    if (id < 0 || id >= kJoystickCount) {
      Add(r, Severity::warning, "sticks-key", e.line, e.name,
          "'" + Shown(e.name) + "' is not a joystick id (0 to 15): the line pins nothing");
      continue;
    }
    if (&e != profile.FindEntry(kSticksSection, e.name)) {
      Add(r, Severity::warning, "sticks-repeated", e.line, e.name,
          "joystick " + std::to_string(id) + " is pinned again: only its first line counts");
      continue;
    }
    const std::string value = ReadEntryValue(e);
    if (TrimProfileBlanks(value).empty()) continue;  // pins nothing, as the panel reads it
    StickIdentity device;
    if (std::optional<std::string> error = ParseStickPin(value, device)) {
      Add(r, Severity::warning, "sticks-malformed", e.line, e.name,
          "'" + Shown(value) + "': " + *error + ": the line pins nothing, joystick " +
              std::to_string(id) + " is numbered by the system");
      continue;
    }
    pins.push_back({id, e.line, device});
  }
  std::vector<bool> told(pins.size(), false);
  for (size_t i = 0; i < pins.size(); ++i) {
    const PinLine& p = pins[i];
    const std::string id = std::to_string(p.id);
    Add(r, Severity::note, "sticks-pin", p.line, id,
        "joystick " + id + " is " + FormatStickPin(p.device) + ", " + PinMeaning(p.device));
    if (!r.settings.joyUsed.Contains(p.id)) {
      Add(r, Severity::note, "sticks-unused", p.line, id,
          "no binding uses joystick " + id +
              ": the pin changes nothing but keeps the device "
              "from the ids that are not pinned");
    }
    for (size_t j = 0; j < i; ++j) {
      const PinLine& q = pins[j];
      if (!OneDevice(q.device, p.device)) continue;
      const bool twins =
          PinStrength(p.device) == MatchedBy::name && PinStrength(q.device) == MatchedBy::name;
      if (twins) {
        if (told[i]) continue;
        told[i] = true;
        Add(r, Severity::warning, "sticks-twins", p.line, id,
            "joystick " + id + " and joystick " + std::to_string(q.id) + " (line " +
                std::to_string(q.line) +
                ") name the same VID:PID and name and nothing else: while both twins are "
                "connected neither id gets one, as nothing tells them apart. Add serial= or "
                "path= to each line (zq-probe prints them)");
      } else {
        Add(r, Severity::warning, "sticks-same-device", p.line, id,
            "joystick " + id + " is pinned to the device of joystick " + std::to_string(q.id) +
                " (line " + std::to_string(q.line) + "): only joystick " + std::to_string(q.id) +
                " gets it");
      }
    }
  }
}

}  // namespace zq::check

// Which device each joystick id reads, when [sticks] pins ids to devices.
// The same rules on every system: a pin takes the one present device that
// matches by serial or instance GUID; else by VID:PID and port path; else by
// VID:PID and name when exactly one device matches. Twins that nothing
// tells apart are never guessed between: the id stays unconnected. The ids
// not pinned keep the system's numbering over the devices left.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "config/binding.h"
#include "input/stick_identity.h"

namespace zq {

class SettingsLookup;

// A device the system has now, under its own id (the id it would poll).
struct PresentStick {
  int slot = -1;
  StickIdentity identity;
};

struct StickPins {
  std::array<bool, kJoystickCount> pinned{};
  std::array<StickIdentity, kJoystickCount> device{};
  bool Any() const {
    for (bool p : pinned) {
      if (p) return true;
    }
    return false;
  }
};

// A malformed pin: its id and what is wrong. The id keeps the system's
// numbering, as if the line were not there.
struct StickPinError {
  int id;
  std::string text;
};

// Reads keys "0" to "15" of [sticks] through the settings reader.
std::vector<StickPinError> LoadStickPins(const SettingsLookup& settings, StickPins& pins);

enum class PinState : uint8_t { unpinned, found, missing, ambiguous };
enum class MatchedBy : uint8_t { none, serial, guid, path, name };

struct StickMap {
  // The system id polled for each id; -1: none, the stick reads as missing.
  std::array<int8_t, kJoystickCount> slot{};
  std::array<PinState, kJoystickCount> state{};
  std::array<MatchedBy, kJoystickCount> by{};
  // For an ambiguous pin: the system ids of the devices it cannot choose from.
  std::array<uint16_t, kJoystickCount> twins{};
};

// Each id its own system id: how the panel reads sticks without pins.
StickMap IdentityStickMap();

// Allocation-free: runs inside the tick when the devices changed.
void MatchSticks(const StickPins& pins, std::span<const PresentStick> present, StickMap& map);

// Whether the device can ever be the pin's: same VID:PID, no serial or GUID
// on both sides that differ, and, unless one of them agrees, no port paths
// that differ.
bool PinFits(const StickIdentity& pin, const StickIdentity& device);

// How a pin tells its device apart from twins, for the tools: by serial,
// GUID or port path; by name alone when it carries none of them.
MatchedBy PinStrength(const StickIdentity& pin);

const char* MatchedByText(MatchedBy by);

}  // namespace zq

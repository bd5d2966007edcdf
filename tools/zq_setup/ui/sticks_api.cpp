#include "zq_setup/ui/sticks_api.h"

#include <nlohmann/json.hpp>

#include "app/run_report.h"
#include "config/settings_snapshot.h"
#include "input/sampling.h"
#include "input/stick_match.h"
#include "zq_setup/ui/ui_server.h"

namespace zq::setup::ui {

namespace {

using nlohmann::json;

const char* StateName(PinState s) {
  switch (s) {
    case PinState::found:
      return "found";
    case PinState::missing:
      return "missing";
    case PinState::ambiguous:
      return "ambiguous";
    case PinState::unpinned:
      break;
  }
  return "unpinned";
}

json SticksJson(const std::optional<std::string>& bytes, const std::string& path,
                const std::vector<LiveStick>& live) {
  SettingsFileText file;
  if (bytes) {
    file.state = SettingsFileState::read;
    file.text = *bytes;
    file.size = bytes->size();
  }
  SettingsSnapshot settings(path, std::move(file));
  StickRouting sticks;
  const std::vector<StickPinError> errors = LoadStickPins(settings, sticks.pins);
  for (const LiveStick& s : live) {
    if (s.id < 0 || s.id >= kJoystickCount || sticks.presentCount >= kJoystickCount) continue;
    sticks.present[static_cast<size_t>(sticks.presentCount++)] = {s.id, s.pin};
  }
  MatchSticks(sticks.pins, sticks.Present(), sticks.map);

  json present = json::array();
  for (const LiveStick& s : live) {
    json readsAs = nullptr;
    json pinnedAs = nullptr;
    for (int id = 0; id < kJoystickCount; ++id) {
      const size_t i = static_cast<size_t>(id);
      if (sticks.map.slot[i] != s.id) continue;
      readsAs = id;
      if (sticks.pins.pinned[i]) pinnedAs = id;
    }
    json stick{{"id", s.id},           {"name", s.name},           {"readsAs", readsAs},
               {"pinnedAs", pinnedAs}, {"bluetooth", s.bluetooth}, {"vidpid", VidPidText(s.pin)}};
    // A device the system gives no VID:PID cannot be told from others.
    if (s.pin.HasIds()) stick["line"] = PinLineFor(s.pin);
    present.push_back(stick);
  }
  json pins = json::array();
  const std::vector<std::string> lines = StickLines(sticks, nullptr);
  size_t line = 0;
  for (int id = 0; id < kJoystickCount; ++id) {
    const size_t i = static_cast<size_t>(id);
    if (!sticks.pins.pinned[i]) continue;
    json twins = json::array();
    for (int slot = 0; slot < kJoystickCount; ++slot) {
      if ((sticks.map.twins[i] >> slot) & 1u) twins.push_back(slot);
    }
    pins.push_back({{"id", id},
                    {"value", FormatStickPin(sticks.pins.device[i])},
                    {"state", StateName(sticks.map.state[i])},
                    {"by", MatchedByText(sticks.map.by[i])},
                    {"device", sticks.map.slot[i] >= 0 ? json(sticks.map.slot[i]) : json(nullptr)},
                    {"twins", twins},
                    {"text", line < lines.size() ? lines[line++] : ""}});
  }
  json malformed = json::array();
  for (const StickPinError& e : errors) malformed.push_back({{"id", e.id}, {"error", e.text}});
  return json{{"present", present}, {"pins", pins}, {"malformed", malformed}};
}

}  // namespace

bool SticksApi::Answer(const Request& req, std::string_view path, std::string_view query,
                       Response& res) {
  if (path != "/api/sticks" || req.method() != http::verb::post) {
    return next_.Answer(req, path, query, res);
  }
  std::string problem;
  std::optional<std::string> bytes = settings_.EditedBytes(req.body(), problem);
  json out = SticksJson(bytes, settings_.Path(), live_.Sticks());
  if (!problem.empty()) out["editError"] = problem;
  res.body() = out.dump(-1, ' ', false, json::error_handler_t::replace);
  return true;
}

}  // namespace zq::setup::ui

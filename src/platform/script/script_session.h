// One scripted run of the core: the settings load, then script lines one at
// a time (zq-replay reads them from a file), or the same steps called
// directly (zq-setup's preview, from the live devices). Events go to `out`
// as JSON Lines, and to an observer as values.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "app/placement.h"
#include "app/tform1.h"
#include "config/settings_file.h"
#include "platform/script/json_events.h"
#include "platform/script/script_platform.h"

namespace zq {

class ScriptSession {
 public:
  // Runs the settings load on `settings` at once (its events are tick 0).
  // `real`, when given, also gets every message the core sends.
  // `observer`, when given, gets the events as values, those of the load
  // included.
  ScriptSession(const SettingsLookup& settings, ScreenSize screen, std::ostream& out,
                DatagramSender* real = nullptr, EventObserver* observer = nullptr);
  ScriptSession(const ScriptSession&) = delete;
  ScriptSession& operator=(const ScriptSession&) = delete;

  // Runs one script line; an empty result means it was well formed.
  std::optional<std::string> Execute(std::string_view line);

  // The steps of the script's lines, without the text: `key VK STATE`,
  // `joy ID WORD VALUE`, `plug ID`, `unplug ID` and `tick`. Arguments are
  // in range (virtual key 0..255, id 0..15, word 0..10).
  void SetKey(int vk, uint8_t state) { devices_.SetKey(vk, state); }
  void SetStickWord(int id, int word, uint32_t value) {
    devices_.SetWord(ScriptDevices::Target{id}, word, value);
  }
  void Plug(int id) { devices_.Plug(ScriptDevices::Target{id}); }
  void Unplug(int id) { devices_.Unplug(ScriptDevices::Target{id}); }
  void Tick();

  const TForm1& Form() const { return form_; }
  int64_t Ticks() const { return ticks_; }

 private:
  // Report events for the pinned sticks that were found, went or came back.
  void ReportSticks();

  EventWriter events_;
  ScriptView view_;
  ScriptErrorReport report_;
  ScriptDevices devices_;
  ScriptSender sender_;
  CurveBank bank_{};
  TForm1 form_;
  int64_t ticks_ = 0;
  std::string error_;
  bool declared_ = false;
  // The pinned sticks as the report last told them.
  uint32_t stickChanges_ = 0;
  StickMap sticks_{};
};

}  // namespace zq

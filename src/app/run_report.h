// The start-up report and the later changes a player must hear of: which
// settings file was read, bound joysticks that do not answer (or stop or
// start answering), and sends that fail and recover. One line each, never
// one per tick; the shell decides where lines go (stderr, a debugger).
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "config/binding.h"
#include "config/settings_snapshot.h"
#include "control/control_tick.h"
#include "input/input_devices.h"
#include "input/sampling.h"

namespace zq {

class ReportLines {
 public:
  virtual ~ReportLines() = default;
  // One line, without its line end.
  virtual void Line(std::string_view text) = 0;
};

// The settings file's lines, `path` and `folder` absolute.
std::string SettingsReadLine(std::string_view path);
// `path` = `folder` + `fileName`, the name looked for: "Setup.ini" unless
// --setup chose another.
std::string SettingsMissingLine(std::string_view path, std::string_view folder,
                                std::string_view fileName);
std::string NearMissLine(std::string_view folder, std::string_view found,
                         std::string_view fileName);
// A file that is there but cannot be read; `cause` says why.
std::string SettingsUnreadableLine(std::string_view path, std::string_view cause);
// A binding that ended the load: file, its line (0 when the value was not
// in the file), key and the error box's text.
std::string LoadErrorLine(std::string_view path, int line, std::string_view key,
                          std::string_view boxText);

// The start-up lines about the settings file: the file read, or why none
// was, with a hint for each near miss beside a missing one. `path` absolute;
// `cause` is SettingsFileCause() of the reading.
std::vector<std::string> SettingsReportLines(const std::filesystem::path& path,
                                             SettingsFileState state, std::string_view cause);
// 1-based line of the key's first entry in the section, 0 when the profile
// does not hold it.
int KeyLine(const ProfileText& profile, std::string_view section, std::string_view key);

// The slot names bound to joystick `id` among the first `loaded` slots, axes
// first, each group in slot order: "Yaxis, fire".
std::string JoystickSlots(const BindingTable& bindings, int id, int loaded = kSlotCount);
// `curves`: the load reached the curves, so a silent stick's axes read -100.
std::string JoystickMissingLine(int id, std::string_view slots, bool curves = true);
std::string JoystickLostLine(int id, std::string_view slots);
std::string JoystickBackLine(int id, std::string_view slots);
// A [sticks] line that pins nothing.
std::string StickPinErrorLine(const StickPinError& error);
// The pinned ids whose device was found, went or came back since `before`
// (every pinned id when there is no `before`), one line each.
std::vector<std::string> StickLines(const StickRouting& sticks, const StickMap* before);
std::string SendFailedLine(const SendResult& result);
std::string SendingAgainLine();

// Passes every call on and remembers which joysticks answered their last
// poll, so that the shell can tell without a second look at the devices.
class AnswerWatch : public InputDevices {
 public:
  explicit AnswerWatch(InputDevices& devices) : devices_(devices) {}
  uint8_t KeyState(int vk) override { return devices_.KeyState(vk); }
  bool PollJoystick(int id, JoyInfoEx& record) override;
  int ListSticks(std::span<PresentStick> out) override { return devices_.ListSticks(out); }
  bool SticksChanged() override { return devices_.SticksChanged(); }
  // Bit id set: joystick id answered the last time it was polled.
  uint16_t Answered() const { return answered_; }

 private:
  InputDevices& devices_;
  uint16_t answered_ = 0;
};

// Follows the bound joysticks and the sends from tick to tick and writes a
// line only when something changed. A quiet tick costs two comparisons.
class RunReport {
 public:
  explicit RunReport(ReportLines& out) : out_(out) {}
  // The load ended at binding `slot`: later slots were never read, and no
  // curve was loaded.
  void LoadEndedAt(int slot) { loaded_ = slot; }
  // After every tick: the bound sticks, which of them answered, the send.
  void AfterTick(const BindingTable& bindings, JoySet bound, uint16_t answered,
                 const TickOutcome& outcome);
  // The same for the window's state, with the pinned sticks: the malformed
  // pins and where each pinned device is, then only what changed.
  void AfterTick(const FormState& form, const std::vector<StickPinError>& pinErrors,
                 const TickOutcome& outcome);

 private:
  void Joysticks(const BindingTable& bindings, JoySet bound, uint16_t answered);
  ReportLines& out_;
  bool firstTick_ = true, sendFailing_ = false;
  uint16_t answered_ = 0;
  int loaded_ = kSlotCount;
  bool pinsShown_ = false;
  uint16_t told_ = 0;  // ids a pin's line told of in this tick
  uint32_t stickChanges_ = 0;
  StickMap sticks_{};
};

}  // namespace zq

#include "app/run_report.h"

#include "config/settings_file.h"
#include "config/settings_near_miss.h"
#include "control/command_message.h"
#include "control/datagram_sender.h"

namespace zq {

std::vector<std::string> SettingsReportLines(const std::filesystem::path& path,
                                             SettingsFileState state, std::string_view cause) {
  const std::string file = path.string(), folder = path.parent_path().string(),
                    name = path.filename().string();
  if (state == SettingsFileState::read) return {SettingsReadLine(file)};
  if (state != SettingsFileState::missing) return {SettingsUnreadableLine(file, cause)};
  std::vector<std::string> lines{SettingsMissingLine(file, folder, name)};
  for (const std::string& found : NearMissSettingsFiles(path.parent_path(), name)) {
    lines.push_back(NearMissLine(folder, found, name));
  }
  return lines;
}

int KeyLine(const ProfileText& profile, std::string_view section, std::string_view key) {
  const ProfileText::Entry* entry = profile.FindEntry(section, key);
  return entry != nullptr ? entry->line : 0;
}

std::string SettingsReadLine(std::string_view path) {
  return "settings from " + std::string(path);
}

std::string SettingsMissingLine(std::string_view path, std::string_view folder,
                                std::string_view fileName) {
  // A chosen name may be a folder that is not there ("--setup ~/flying").
  if (fileName != "Setup.ini") {
    return "no file " + std::string(path) + ": running on the built-in defaults";
  }
  return "no Setup.ini in " + std::string(folder) + ": running on the built-in defaults";
}

std::string NearMissLine(std::string_view folder, std::string_view found,
                         std::string_view fileName) {
  std::string line = "hint: " + std::string(folder) + " holds \"" + std::string(found) +
                     "\", which is not read: rename it to \"" + std::string(fileName) + "\"";
  // Windows Explorer hides known endings: "Setup.ini" there may be "Setup.ini.txt".
  if (found.size() > fileName.size()) line += " (the file manager may hide its ending)";
  return line;
}

std::string SettingsUnreadableLine(std::string_view path, std::string_view cause) {
  return "the settings file " + std::string(path) + " can't be read because " + std::string(cause) +
         ": running on the built-in defaults";
}

std::string LoadErrorLine(std::string_view path, int line, std::string_view key,
                          std::string_view boxText) {
  std::string where(path);
  if (line > 0) where.append(":").append(std::to_string(line));
  return where + ": " + std::string(key) + ": " + std::string(boxText) +
         " Loading stopped at this key: the bindings after it, the curves and the window's "
         "place keep their start values";
}

std::string JoystickSlots(const BindingTable& bindings, int id, int loaded) {
  // Axes first: they are what a missing stick shows on the panel.
  std::string slots;
  for (bool axes : {true, false}) {
    for (int s = 0; s < loaded && s < kSlotCount; ++s) {
      const Binding& b = bindings[static_cast<size_t>(s)];
      const SlotInfo& info = kSlotTable[static_cast<size_t>(s)];
      if (b.unbound || b.device != id || (info.test == SlotTest::axis) != axes) continue;
      if (!slots.empty()) slots += ", ";
      slots += info.key;
    }
  }
  return slots;
}

std::string JoystickMissingLine(int id, std::string_view slots, bool curves) {
  return "joystick " + std::to_string(id) + " (" + std::string(slots) + ") is not connected" +
         (curves ? ": its axes read -100 until it answers" : "");
}

std::string JoystickLostLine(int id, std::string_view slots) {
  return "joystick " + std::to_string(id) + " (" + std::string(slots) +
         ") stopped answering: its axes and buttons keep their last state until it answers";
}

std::string JoystickBackLine(int id, std::string_view slots) {
  return "joystick " + std::to_string(id) + " (" + std::string(slots) + ") answers again";
}

std::string StickPinErrorLine(const StickPinError& error) {
  const std::string id = std::to_string(error.id);
  return "[sticks] " + id + ": " + error.text + ": the line pins nothing, joystick " + id +
         " is numbered by the system";
}

namespace {

std::string PresentAt(const StickRouting& sticks, int slot) {
  for (const PresentStick& p : sticks.Present()) {
    if (p.slot == slot) {
      return FormatStickPin(p.identity) + " (the system's joystick " + std::to_string(slot) + ")";
    }
  }
  return "the system's joystick " + std::to_string(slot);
}

std::string StickLine(const StickRouting& sticks, int id) {
  const size_t i = static_cast<size_t>(id);
  const std::string head =
      "joystick " + std::to_string(id) + " is pinned to " + FormatStickPin(sticks.pins.device[i]);
  switch (sticks.map.state[i]) {
    case PinState::found:
      return head + ": found by " + MatchedByText(sticks.map.by[i]) + ", the system's joystick " +
             std::to_string(sticks.map.slot[i]);
    case PinState::ambiguous: {
      std::string line = head + ", which more than one device matches:";
      const char* sep = " ";
      for (int s = 0; s < kJoystickCount; ++s) {
        if (((sticks.map.twins[i] >> s) & 1) == 0) continue;
        line.append(sep).append(PresentAt(sticks, s));
        sep = ", ";
      }
      return line +
             ". None is guessed: the joystick stays unconnected until its pin adds serial= or "
             "path= (zq-probe prints the line of each stick)";
    }
    default:
      return head + ": not connected, its axes read -100 until it is plugged in";
  }
}

}  // namespace

std::vector<std::string> StickLines(const StickRouting& sticks, const StickMap* before) {
  std::vector<std::string> lines;
  for (int id = 0; id < kJoystickCount; ++id) {
    const size_t i = static_cast<size_t>(id);
    if (!sticks.pins.pinned[i]) continue;
    if (before != nullptr && before->state[i] == sticks.map.state[i] &&
        before->slot[i] == sticks.map.slot[i] && before->twins[i] == sticks.map.twins[i]) {
      continue;
    }
    lines.push_back(StickLine(sticks, id));
  }
  return lines;
}

std::string SendFailedLine(const SendResult& result) {
  std::string text(SendFailureText(result).View());
  // The box's two lines become one.
  for (size_t at; (at = text.find("\r\n")) != std::string::npos;) {
    text[at] = ' ';
    text.erase(at + 1, 1);
  }
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return "sending to " + std::string(kCommandAddress) + " failed: " + text +
         " Changes are lost until sending works again";
}

std::string SendingAgainLine() {
  return "sending to " + std::string(kCommandAddress) + " again";
}

bool AnswerWatch::PollJoystick(int id, JoyInfoEx& record) {
  bool answered = devices_.PollJoystick(id, record);
  if (id >= 0 && id < kJoystickCount) {
    uint16_t bit = static_cast<uint16_t>(1u << id);
    answered_ = static_cast<uint16_t>(answered ? answered_ | bit : answered_ & ~bit);
  }
  return answered;
}

void RunReport::AfterTick(const BindingTable& bindings, JoySet bound, uint16_t answered,
                          const TickOutcome& outcome) {
  answered = static_cast<uint16_t>(answered & bound.bits);
  if (firstTick_ || answered != answered_) Joysticks(bindings, bound, answered);
  if (!outcome.sent) return;
  if (!outcome.result.Ok() && !sendFailing_) {
    sendFailing_ = true;
    out_.Line(SendFailedLine(outcome.result));
  } else if (outcome.result.Ok() && sendFailing_) {
    sendFailing_ = false;
    out_.Line(SendingAgainLine());
  }
}

void RunReport::AfterTick(const FormState& form, const std::vector<StickPinError>& pinErrors,
                          const TickOutcome& outcome) {
  if (!pinsShown_) {
    pinsShown_ = true;
    for (const StickPinError& e : pinErrors) out_.Line(StickPinErrorLine(e));
  }
  const StickRouting& sticks = form.sticks;
  if (sticks.changes != stickChanges_) {
    const StickMap* before = stickChanges_ == 0 ? nullptr : &sticks_;
    for (const std::string& line : StickLines(sticks, before)) out_.Line(line);
    for (int id = 0; id < kJoystickCount; ++id) {
      const size_t i = static_cast<size_t>(id);
      if (sticks.pins.pinned[i] && (before == nullptr || before->slot[i] != sticks.map.slot[i])) {
        told_ = static_cast<uint16_t>(told_ | (1u << id));
      }
    }
    stickChanges_ = sticks.changes;
    sticks_ = sticks.map;
  }
  AfterTick(form.bindings, form.joyUsed, form.input.joyAnswered, outcome);
  told_ = 0;
}

void RunReport::Joysticks(const BindingTable& bindings, JoySet bound, uint16_t answered) {
  const uint16_t changed = firstTick_ ? static_cast<uint16_t>(~answered & bound.bits)
                                      : static_cast<uint16_t>(answered ^ answered_);
  const bool first = firstTick_;
  firstTick_ = false;
  answered_ = answered;
  for (int id = 0; id < kJoystickCount; ++id) {
    // a pinned stick that came or went has had its line
    if (((changed >> id) & 1) == 0 || ((told_ >> id) & 1) != 0) continue;
    const std::string slots = JoystickSlots(bindings, id, loaded_);
    if (first) {
      out_.Line(JoystickMissingLine(id, slots, loaded_ == kSlotCount));
    } else if (((answered >> id) & 1) != 0) {
      out_.Line(JoystickBackLine(id, slots));
    } else {
      out_.Line(JoystickLostLine(id, slots));
    }
  }
}

}  // namespace zq

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

void RunReport::Joysticks(const BindingTable& bindings, JoySet bound, uint16_t answered) {
  const uint16_t changed = firstTick_ ? static_cast<uint16_t>(~answered & bound.bits)
                                      : static_cast<uint16_t>(answered ^ answered_);
  const bool first = firstTick_;
  firstTick_ = false;
  answered_ = answered;
  for (int id = 0; id < kJoystickCount; ++id) {
    if (((changed >> id) & 1) == 0) continue;
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

#include "platform/script/script_session.h"

#include <charconv>
#include <cstdint>
#include <vector>

#include "app/form_shell.h"
#include "app/run_report.h"

namespace zq {
namespace {

std::vector<std::string_view> SplitWords(std::string_view line) {
  std::vector<std::string_view> words;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
    if (i > start) words.push_back(line.substr(start, i - start));
  }
  return words;
}

// Decimal, or hexadecimal after 0x / 0X; nothing else.
std::optional<uint64_t> ParseNumber(std::string_view w, uint64_t max) {
  int base = 10;
  if (w.size() > 2 && w[0] == '0' && (w[1] == 'x' || w[1] == 'X')) {
    base = 16;
    w.remove_prefix(2);
  }
  // from_chars takes no sign for an unsigned number, nor a second "0x".
  if (w.empty() || w[0] == '-') return std::nullopt;
  uint64_t v = 0;
  auto [end, ec] = std::from_chars(w.data(), w.data() + w.size(), v, base);
  if (ec != std::errc() || end != w.data() + w.size() || v > max) return std::nullopt;
  return v;
}

// A word shown in a message, cut so that a huge line stays a short message.
std::string Shown(std::string_view w) {
  std::string s;
  for (char c : w.substr(0, 40)) {
    unsigned char u = static_cast<unsigned char>(c);
    s += (u < 32 || u >= 127) ? '?' : c;
  }
  if (w.size() > 40) s += "...";
  return s;
}

bool ValidDeviceKey(std::string_view key) {
  auto letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
  if (key.empty() || key.size() > 40 || !letter(key[0])) return false;
  for (char c : key) {
    if (!letter(c) && !(c >= '0' && c <= '9') && c != '_' && c != '-') return false;
  }
  return true;
}

}  // namespace

ScriptSession::ScriptSession(const SettingsLookup& settings, ScreenSize screen, std::ostream& out,
                             DatagramSender* real, EventObserver* observer)
    : events_(out),
      view_(events_),
      report_(events_),
      sender_(events_, real),
      form_(bank_, devices_, view_, sender_) {
  view_.AttachForm(&form_);
  events_.Observe(observer);
  NoKeyCharMap keyMap;
  events_.SetTick(0);
  CreateForm(form_, settings, keyMap, screen, report_);
  for (const StickPinError& e : form_.StickPinErrors()) events_.Report(StickPinErrorLine(e));
}

void ScriptSession::ReportSticks() {
  const StickRouting& sticks = form_.State().sticks;
  if (sticks.changes == stickChanges_) return;
  for (const std::string& line : StickLines(sticks, stickChanges_ == 0 ? nullptr : &sticks_)) {
    events_.Report(line);
  }
  stickChanges_ = sticks.changes;
  sticks_ = sticks.map;
}

void ScriptSession::Tick() {
  events_.SetTick(++ticks_);
  RunTick(form_, report_);
  ReportSticks();
}

std::optional<std::string> ScriptSession::Execute(std::string_view line) {
  size_t hash = line.find('#');
  if (hash != std::string_view::npos) line = line.substr(0, hash);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  std::vector<std::string_view> w = SplitWords(line);
  if (w.empty()) return std::nullopt;
  std::string_view cmd = w[0];
  auto arity = [&](size_t n) -> std::optional<std::string> {
    if (w.size() == n) return std::nullopt;
    return "'" + std::string(cmd) + "' takes " + std::to_string(n - 1) + " argument" +
           (n == 2 ? "" : "s") + ", found " + std::to_string(w.size() - 1);
  };
  auto number = [&](size_t i, uint64_t max, const char* what) -> std::optional<uint64_t> {
    std::optional<uint64_t> v = ParseNumber(w[i], max);
    if (!v)
      error_ = std::string(what) + " '" + Shown(w[i]) + "' is not a number from 0 to " +
               std::to_string(max);
    return v;
  };
  // A joystick id, or the key of a declared device.
  auto target = [&](size_t i) -> std::optional<ScriptDevices::Target> {
    const int device = devices_.Find(w[i]);
    if (device >= 0) return ScriptDevices::Target{-1, device};
    auto id = number(i, 15, "joystick id");
    if (!id) {
      if (declared_) error_ += " nor a declared device";
      return std::nullopt;
    }
    return ScriptDevices::Target{static_cast<int>(*id), -1};
  };
  auto device = [&](size_t i) -> std::optional<int> {
    const int d = devices_.Find(w[i]);
    if (d < 0) error_ = "'" + Shown(w[i]) + "' is no declared device";
    return d >= 0 ? std::optional<int>(d) : std::nullopt;
  };

  if (cmd == "key") {
    if (auto e = arity(3)) return e;
    auto vk = number(1, 255, "virtual key");
    if (!vk) return error_;
    auto state = number(2, 255, "key state");
    if (!state) return error_;
    SetKey(static_cast<int>(*vk), static_cast<uint8_t>(*state));
  } else if (cmd == "joy") {
    if (auto e = arity(4)) return e;
    auto stick = target(1);
    if (!stick) return error_;
    auto word = number(2, 10, "record word");
    if (!word) return error_;
    auto value = number(3, 4294967295u, "value");
    if (!value) return error_;
    devices_.SetWord(*stick, static_cast<int>(*word), static_cast<uint32_t>(*value));
  } else if (cmd == "button") {
    if (auto e = arity(4)) return e;
    auto stick = target(1);
    if (!stick) return error_;
    std::optional<uint64_t> n = ParseNumber(w[2], 32);
    if (!n || *n == 0) return "button number '" + Shown(w[2]) + "' is not a number from 1 to 32";
    if (w[3] != "down" && w[3] != "up") {
      return "button state '" + Shown(w[3]) + "' is neither 'down' nor 'up'";
    }
    devices_.SetButton(*stick, static_cast<int>(*n), w[3] == "down");
  } else if (cmd == "unplug" || cmd == "plug") {
    if (auto e = arity(2)) return e;
    auto stick = target(1);
    if (!stick) return error_;
    if (cmd == "plug") {
      devices_.Plug(*stick);
    } else {
      devices_.Unplug(*stick);
    }
  } else if (cmd == "device") {
    // device KEY VID:PID "NAME" [serial=S] [path=P] [guid=G]: the name may
    // hold blanks, so the rest of the line is the pin's own text.
    if (w.size() < 3)
      return std::string("'device' takes a key and VID:PID \"NAME\" [serial=S] [path=P] [guid=G]");
    if (!ValidDeviceKey(w[1])) {
      return "device key '" + Shown(w[1]) +
             "' does not start with a letter, or holds more than letters, digits, _ and -";
    }
    const size_t rest = static_cast<size_t>(w[2].data() - line.data());
    StickIdentity identity;
    if (std::optional<std::string> e = ParseStickPin(line.substr(rest), identity)) return *e;
    if (std::optional<std::string> e = devices_.Declare(w[1], identity)) return *e;
    declared_ = true;
  } else if (cmd == "attach" || cmd == "detach") {
    // attach KEY path=P: plugged into another port than before
    const bool port = cmd == "attach" && w.size() == 3 && w[2].starts_with("path=");
    if (!port) {
      if (auto e = arity(2)) return e;
    }
    auto d = device(1);
    if (!d) return error_;
    if (port) {
      if (w[2].size() == 5) return std::string("path= has no value");
      devices_.SetPath(*d, w[2].substr(5));
    }
    std::optional<std::string> e = cmd == "attach" ? devices_.Attach(*d) : devices_.Detach(*d);
    if (e) return e;
  } else if (cmd == "sendfail") {
    if (auto e = arity(2)) return e;
    if (w[1] == "short") {
      sender_.FailNextSend({SendResult::Kind::shortSend, 0});
    } else if (w[1] == "nosocket") {
      sender_.FailSocketCreation();
    } else {
      auto code = number(1, 2147483647u, "socket error code");
      if (!code) return error_ + ", 'short' or 'nosocket'";
      sender_.FailNextSend({SendResult::Kind::sendFailed, static_cast<int32_t>(*code)});
    }
  } else if (cmd == "tick") {
    if (w.size() > 2) {
      return "'tick' takes at most 1 argument, found " + std::to_string(w.size() - 1);
    }
    uint64_t n = 1;
    if (w.size() == 2) {
      auto count = number(1, 2147483647u, "tick count");
      if (!count) return error_;
      n = *count;
    }
    for (uint64_t i = 0; i < n; ++i) Tick();
  } else if (cmd == "dump") {
    if (auto e = arity(1)) return e;
    events_.SetTick(ticks_);
    events_.State(form_);
  } else {
    return "unknown command '" + Shown(cmd) + "'";
  }
  return std::nullopt;
}

}  // namespace zq

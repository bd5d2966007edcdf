#include "kit/invariants.h"

#include "app/form_shell.h"
#include "app/paint_box.h"
#include "config/settings_file.h"
#include "control/command_message.h"
#include "control/curve_math.h"
#include "kit/fakes.h"

namespace zq::test {
namespace {

std::string Out(const char* what, int32_t v) {
  return std::string(what) + " " + std::to_string(v);
}

bool IsDigits(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// The integer part: "0" or digits without a leading zero.
bool IsWholePart(std::string_view s) {
  return IsDigits(s) && (s.size() == 1 || s[0] != '0');
}

}  // namespace

std::string ControlInvariants(const ControlState& c) {
  if (c.throttle < 0 || c.throttle > 110) return Out("throttle", c.throttle);
  if (c.flaps < 0 || c.flaps > 3) return Out("flaps", c.flaps);
  if (c.fireTime1 < 0 || c.fireTime2 < 0) return "a fire time below 0";
  for (int32_t t : {c.trimXBtn, c.trimZBtn}) {
    if (t < -100 || t > 100) return Out("button trim", t);
  }
  return "";
}

std::string StateInvariants(const ControlState& c, const CurveBank& bank) {
  if (std::string why = ControlInvariants(c); !why.empty()) return why;
  if ((c.trimYBtn < -100 || c.trimYBtn > 100) && c.trimYBtn != c.startTrim)
    return Out("trimYBtn", c.trimYBtn);
  if (bank.curveCount < 0 || bank.curveCount > kCurveSets)
    return Out("curveCount", bank.curveCount);
  if (bank.curveIndex < 0 || bank.curveIndex >= (bank.curveCount > 0 ? bank.curveCount : 1))
    return Out("curveIndex", bank.curveIndex);
  // the twelfth integer of every slot is never set from the file
  for (size_t k = 0; k < kCurveSets; ++k) {
    if (bank.curvesY[k].slot[11] != 0 || bank.curvesX[k].slot[11] != 0 ||
        bank.curvesZ[k].slot[11] != 0)
      return "a curve's twelfth integer was set";
  }
  if (bank.curveTrimY.slot[11] != 0 || bank.curveTrimX.slot[11] != 0 ||
      bank.curveTrimZ.slot[11] != 0)
    return "a trim curve's twelfth integer was set";
  return "";
}

std::string TickInvariants(const ControlState& prev, const ControlState& c) {
  if (c.fireTime1 < prev.fireTime1 && c.fireTime1 != 0) return "fireTime1 went back";
  auto total = [](int32_t btn, int32_t axis) { return Wrap32(int64_t{btn} + axis); };
  if (c.trimYTotal != total(c.trimYBtn, c.trimYAxis) ||
      c.trimXTotal != total(c.trimXBtn, c.trimXAxis) ||
      c.trimZTotal != total(c.trimZBtn, c.trimZAxis))
    return "a trim total is not its two parts";
  // the axis checks mix in the totals of the previous tick
  if (c.sentY != (c.useYTrim ? c.axisY : TrimMix(c.axisY, prev.trimYTotal)) ||
      c.sentX != (c.useTrim ? c.axisX : TrimMix(c.axisX, prev.trimXTotal)) ||
      c.sentZ != (c.useTrim ? c.axisZ : TrimMix(c.axisZ, prev.trimZTotal)))
    return "an axis value differs from its sent copy";
  if (c.sentThrottle != c.throttle || c.sentFlaps != c.flaps)
    return "throttle or flaps differ from their sent copies";
  return "";
}

std::string FormInvariants(const TForm1& form) {
  if (std::string why = StateInvariants(form.State().control, form.Bank()); !why.empty())
    return why;
  for (int32_t h : form.PPaint()) {
    PaintRows rows = PaintColumnRows(h);
    if (rows.first <= rows.last && (rows.first < 0 || rows.last > 16))
      return Out("a paint column outside the panel, height", h);
  }
  return "";
}

std::string LoadAndShake(std::string_view ini, uint64_t seed, int ticks) {
  FakeDevices devices;
  devices.recordPolls = false;
  LabelView view;
  RecordingSender udp;
  udp.keepAll = false;
  CountingReport report;
  CurveBank bank;
  TForm1 form(bank, devices, view, udp);
  CreateForm(form, ProfileTextSettings(ini), NoKeyCharMap(), {1920, 1080}, report);

  const FormState& state = form.State();
  bool complete = bank.curveCount > 0;
  if (report.reports != (complete ? 0 : 1)) return "the load reported " + Out("", report.reports);
  for (int vk : {13, 27, 144}) {
    if (!state.watchedKeys.Contains(vk)) return Out("key not watched:", vk);
  }
  if (!state.control.useTrim || !state.control.useYTrim) return "the trims start routed apart";
  if (form.WindowPlacement().width != (complete ? 42 : 104))
    return Out("window width", form.WindowPlacement().width);
  if (std::string why = FormInvariants(form); !why.empty()) return "after the load: " + why;

  Mixer mix(seed);
  for (int tick = 0; tick < ticks; ++tick) {
    devices.Shake(mix);
    if (mix.Below(4) == 0) udp.Next({SendResult::Kind::sendFailed, 10054});
    int sendsBefore = udp.sends;
    const ControlState prev = state.control;
    RunTick(form, report);
    std::string why = FormInvariants(form);
    if (why.empty()) why = TickInvariants(prev, state.control);
    if (why.empty() && udp.sends - sendsBefore > 1) why = "more than one datagram in a tick";
    if (why.empty() && udp.sends != sendsBefore &&
        (udp.last.size() > kBodyCapacity + 1 || !IsMessageGrammar(udp.last)))
      why = "malformed message '" + udp.last + "'";
    if (!why.empty()) return "tick " + std::to_string(tick + 1) + ": " + why;
  }
  return "";
}

bool IsMessageGrammar(std::string_view m) {
  auto digit = [&](size_t i) { return i < m.size() && m[i] >= '0' && m[i] <= '9'; };
  if (m.size() < 2 || m[0] != 'R') return false;
  size_t i = 1;
  while (i < m.size()) {
    if (m[i] != '/' || !digit(i + 1) || !digit(i + 2) || i + 3 >= m.size() || m[i + 3] != '\\')
      return false;
    i += 4;
    if (i < m.size() && m[i] == '-') ++i;
    if (!digit(i)) return false;
    while (digit(i)) ++i;
    if (i < m.size() && m[i] == '.') {
      if (!digit(++i)) return false;
      while (digit(i)) ++i;
    }
  }
  return true;
}

bool SplitMessage(std::string_view m, std::vector<Segment>& out, std::string& why) {
  out.clear();
  if (m.size() > kBodyCapacity + 1) return why = "longer than 256 bytes", false;
  if (m.size() < 2 || m[0] != 'R') return why = "no R", false;
  size_t i = 1;
  int lastOrder = -1;
  while (i < m.size()) {
    if (m.size() - i < 5 || m[i] != '/' || !IsDigits(m.substr(i + 1, 2)) || m[i + 3] != '\\')
      return why = "bad segment head at " + std::to_string(i), false;
    int channel = (m[i + 1] - '0') * 10 + (m[i + 2] - '0');
    int order = -1;
    for (int k = 0; k < 8; ++k) {
      if (kChannelOrder[static_cast<size_t>(k)] == channel) order = k;
    }
    if (order <= lastOrder) return why = "channel out of order or unknown", false;
    lastOrder = order;
    size_t end = m.find('/', i + 4);
    if (end == std::string_view::npos) end = m.size();
    out.push_back({order, m.substr(i + 4, end - i - 4)});
    for (char c : out.back().value) {
      if (!(c == '-' || c == '.' || (c >= '0' && c <= '9'))) return why = "bad character", false;
    }
    i = end;
  }
  return true;
}

std::optional<int64_t> ReadTwoDecimal(std::string_view t) {
  bool negative = !t.empty() && t[0] == '-';
  if (negative) t.remove_prefix(1);
  size_t dot = t.find('.');
  if (dot == std::string_view::npos || !IsWholePart(t.substr(0, dot)) || t.size() - dot != 3 ||
      !IsDigits(t.substr(dot + 1)))
    return std::nullopt;
  int64_t v =
      std::stoll(std::string(t.substr(0, dot))) * 100 + std::stoll(std::string(t.substr(dot + 1)));
  if (negative && v == 0) return std::nullopt;
  return negative ? -v : v;
}

std::optional<int64_t> ReadShortDecimal(std::string_view t) {
  bool negative = !t.empty() && t[0] == '-';
  if (negative) t.remove_prefix(1);
  size_t dot = t.find('.');
  std::string_view whole = t.substr(0, dot);
  if (!IsWholePart(whole) || whole.size() > 9) return std::nullopt;
  int64_t v = std::stoll(std::string(whole)) * 100;
  if (dot != std::string_view::npos) {
    std::string_view frac = t.substr(dot + 1);
    if (!IsDigits(frac) || frac.size() > 2 || frac.back() == '0') return std::nullopt;
    v += std::stoll(std::string(frac)) * (frac.size() == 1 ? 10 : 1);
  }
  if (negative && v == 0) return std::nullopt;
  return negative ? -v : v;
}

}  // namespace zq::test

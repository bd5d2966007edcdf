#include "zq_setup/ui/preview_chain.h"

#include <array>

#include "config/flight_axes.h"
#include "control/command_message.h"
#include "input/joyinfo.h"
#include "input/key_names.h"
#include "input/sampling.h"

namespace zq::setup::ui {

namespace {

using nlohmann::json;

constexpr uint32_t Bit(Slot s) {
  return uint32_t{1} << static_cast<int>(s);
}

// The preview labels each slot acts on, so that the page can light them.
std::vector<std::string_view> LabelsOf(Slot s) {
  switch (s) {
    case slots::trimbtn:
      return {"ty"};
    case slots::usetrim:
      return {"xyp", "zyp", "tx", "tz"};
    case slots::useYtrim:
      return {"yp", "ty"};
    case slots::trimXbtn:
      return {"tx"};
    case slots::trimZbtn:
      return {"tz"};
    case slots::fire:
      return {"Label1"};
    case slots::Fire2:
      return {"Label2"};
    case slots::Fire12:
      return {"Label1", "Label2"};
    case slots::power:
      return {"ty", "f", "Label1", "Label2"};
    case slots::resetbtn:
      return {"ty", "tx", "tz"};
    case slots::flapsup:
    case slots::flapsdown:
      return {"f"};
    case slots::Yaxis:
      return {"yp"};
    case slots::Xaxis:
      return {"xyp"};
    case slots::Zaxis:
      return {"zyp"};
    case slots::TrimAxis:
      return {"ty"};
    case slots::TrimXAxis:
      return {"tx"};
    case slots::TrimZAxis:
      return {"tz"};
    case slots::IncZtrim:
    case slots::DecZtrim:
      return {"tz"};
    case slots::chat:
    case slots::curveup:
    case slots::curvedown:
    case slots::PowerMinus:
    case slots::PowerPlus:
      return {"xp"};
  }
  return {};
}

// The segment a channel carries the value in, as the message has it.
std::string Segment(Channel c, int32_t hundredths, bool zeroForm) {
  MessageBody body;
  if (zeroForm) {
    body.AppendZero(c);
  } else {
    body.AppendHundredths(c, hundredths);
  }
  return std::string(body.Text());
}

bool Answered(const InputSnapshot& in, const Binding& b) {
  return b.device >= 0 && b.device < kJoystickCount && (in.joyAnswered >> b.device & 1u) != 0;
}

bool OnStick(const Binding& b) {
  return !b.unbound && b.device >= 0 && b.device < kJoystickCount;
}

std::string Routing(bool apart, const FlightAxis& a) {
  std::string trim = std::string(a.word) + " trim";
  return apart ? "on (" + trim + " on its own channel)"
               : "off (" + trim + " mixed into " + std::string(a.word) + ")";
}

// What a press did, told from the state the tick left.
std::string PressText(Slot s, const FormState& f, const CurveBank& bank) {
  const ControlState& c = f.control;
  auto flaps = [&] {
    return "flaps " + std::string(kFlapTable[static_cast<size_t>(c.flaps)].meaning);
  };
  switch (s) {
    case slots::usetrim:
      return "roll and yaw trim routing " +
             std::string(c.useTrim ? "on (their own channels)" : "off (mixed into the axes)");
    case slots::useYtrim:
      return "trim routing " + Routing(c.useYTrim, kFlightAxes[0]);
    case slots::chat:
      return c.chatMode ? "chat mode on (\"" + std::string(kChatText) + "\")"
                        : "chat mode, ended by Enter or Escape in the same tick";
    case slots::curveup:
    case slots::curvedown:
      return "curve set " + std::to_string(bank.curveIndex);
    case slots::power:
      return "power reset: pitch trim " + std::to_string(c.trimYBtn) + ", " + flaps() +
             ", timers 0";
    case slots::trimbtn:
      return "pitch trim set to " + std::to_string(c.trimYBtn);
    case slots::trimXbtn:
      return "roll trim set to " + std::to_string(c.trimXBtn);
    case slots::trimZbtn:
      return "yaw trim set to " + std::to_string(c.trimZBtn);
    case slots::resetbtn:
      return "trims set by buttons cleared";
    case slots::IncZtrim:
    case slots::DecZtrim:
      return "yaw trim " + std::to_string(c.trimZBtn);
    case slots::flapsup:
    case slots::flapsdown:
      return flaps();
    case slots::fire:
      return "fire timer 1 runs";
    case slots::Fire2:
      return "fire timer 2 runs";
    case slots::Fire12:
      return "both fire timers run";
    case slots::PowerPlus:
      return "throttle up: " + std::to_string(c.throttle);
    case slots::PowerMinus:
      return "throttle down: " + std::to_string(c.throttle);
    default:
      return "";
  }
}

json AxisJson(const FlightAxis& a, const AxisChain& ch, const TForm1& form) {
  const FormState& f = form.State();
  const CurveBank& bank = form.Bank();
  const int set = f.chain.curveIndex;
  const std::array<Curve, kCurveSets>& curves =
      a.letter == 'Y' ? bank.curvesY : (a.letter == 'X' ? bank.curvesX : bank.curvesZ);
  const Curve& trimCurve =
      a.letter == 'Y' ? bank.curveTrimY : (a.letter == 'X' ? bank.curveTrimX : bank.curveTrimZ);
  // The stretch of the curve a reading falls in: points j and j + 1.
  auto stretch = [](const Curve& c, int32_t reading) {
    int32_t m = reading < 0 ? -reading : reading;
    int j = m >= 1000 ? 10 : static_cast<int>(m / 100);
    json gains = json::array({c[j]});
    if (j < 10) gains.push_back(c[j + 1]);
    return json{{"from", j * 10}, {"to", j < 10 ? (j + 1) * 10 : 100}, {"gains", gains}};
  };
  const Binding& axis = f.bindings[static_cast<size_t>(a.axis)];
  const Binding& trim = f.bindings[static_cast<size_t>(a.trimAxis)];
  const size_t i = static_cast<size_t>(&a - kFlightAxes.data());
  const Channel axisChannel = std::array{Channel::axisY, Channel::axisX, Channel::axisZ}[i];
  const Channel trimChannel = std::array{Channel::trimY, Channel::trimX, Channel::trimZ}[i];
  return json{{"letter", std::string(1, a.letter)},
              {"word", a.word},
              {"slot", kSlotTable[static_cast<size_t>(a.axis)].key},
              {"input", InputName(axis, true)},
              {"onStick", OnStick(axis)},
              {"missing", OnStick(axis) && !Answered(f.input, axis)},
              {"reading", ch.reading},
              {"curveSet", set},
              {"curveKey", CurveKey(a.letter, set)},
              {"curve", stretch(curves[static_cast<size_t>(set)], ch.reading)},
              {"shaped", ch.shaped},
              {"trimSlot", kSlotTable[static_cast<size_t>(a.trimAxis)].key},
              {"trimInput", InputName(trim, true)},
              {"trimOnStick", OnStick(trim)},
              {"trimMissing", OnStick(trim) && !Answered(f.input, trim)},
              {"trimReading", ch.trimReading},
              {"trimCurveKey", a.trimCurve},
              {"trimCurve", stretch(trimCurve, ch.trimReading)},
              {"trimAxis", ch.trimAxis},
              {"trimBtn", ch.trimBtn},
              {"trimTotal", ch.trimTotal},
              {"trimMixed", ch.trimMixed},
              {"routing", kSlotTable[static_cast<size_t>(a.routing)].key},
              {"apart", ch.apart},
              {"channel", ChannelNumber(axisChannel)},
              {"value", ch.value},
              {"segment", Segment(axisChannel, ch.value, false)},
              {"trimChannel", ChannelNumber(trimChannel)},
              {"trimValue", ch.trimValue},
              {"trimSegment", Segment(trimChannel, ch.trimValue, !ch.apart)}};
}

}  // namespace

std::string InputName(const Binding& b, bool axis) {
  if (b.unbound) return "nothing";
  if (b.device >= 0 && b.device < kJoystickCount) {
    std::string stick = "joystick " + std::to_string(b.device);
    if (!axis) return stick + " button " + std::to_string(b.code);
    if (b.code >= 0 && static_cast<size_t>(b.code) < kAxisLetters.size())
      return stick + " axis " + std::string(1, kAxisLetters[static_cast<size_t>(b.code)]);
    return stick + " record word " + std::to_string(b.code);
  }
  if (b.device != kKeyboard || b.code < 0 || b.code > 255) return "nothing";
  std::string name = VirtualKeyName(b.code);
  if (name.empty()) name = std::to_string(b.code);
  KeyChord chord{b.code, b.ctrl, b.alt, b.shift};
  return "key " + ModifierWords(chord) + name;
}

void InputWatch::AfterTick(const TForm1& form, int64_t tick) {
  const FormState& f = form.State();
  const BindingContext ctx{f.bindings, f.input, f.control.chatMode};
  uint32_t held = 0;
  for (int s = 0; s < kSlotCount; ++s) {
    if (kSlotTable[static_cast<size_t>(s)].test != SlotTest::axis && IsHeld(s, ctx))
      held |= uint32_t{1} << s;
  }
  // Presses as the tick saw them; holds from the tick they began.
  const uint32_t holdSlots = Bit(slots::fire) | Bit(slots::Fire2) | Bit(slots::Fire12) |
                             Bit(slots::PowerMinus) | Bit(slots::PowerPlus);
  const uint32_t acted = f.chain.pressed | (held & ~held_ & holdSlots);
  held_ = held;
  std::string text;
  for (int s = 0; s < kSlotCount; ++s) {
    if ((acted >> s & 1u) == 0) continue;
    const Binding& b = f.bindings[static_cast<size_t>(s)];
    if (!text.empty()) text += "; ";
    text +=
        InputName(b, false) + " \xE2\x86\x92 " + PressText(static_cast<Slot>(s), f, form.Bank());
  }
  if (text.empty()) return;
  happened_ = std::move(text);
  happenedTick_ = tick;
}

json InputWatch::Json(const TForm1& form) const {
  const FormState& f = form.State();
  json axes = json::array();
  for (size_t i = 0; i < kFlightAxes.size(); ++i)
    axes.push_back(AxisJson(kFlightAxes[i], f.chain.axes[i], form));
  json slotList = json::array();
  for (int s = 0; s < kSlotCount; ++s) {
    const SlotInfo& info = kSlotTable[static_cast<size_t>(s)];
    const Binding& b = f.bindings[static_cast<size_t>(s)];
    json labels = json::array();
    for (std::string_view l : LabelsOf(static_cast<Slot>(s))) labels.push_back(l);
    json entry{{"key", info.key}, {"labels", labels}};
    if (info.test == SlotTest::axis) {
      entry["reading"] = ReadAxis(b, f.input);
      entry["missing"] = OnStick(b) && !Answered(f.input, b);
    } else {
      entry["held"] = (held_ >> s & 1u) != 0;
    }
    slotList.push_back(entry);
  }
  json happened =
      happened_.empty() ? json(nullptr) : json{{"tick", happenedTick_}, {"text", happened_}};
  return json{{"axes", axes}, {"slots", slotList}, {"happened", happened}};
}

}  // namespace zq::setup::ui

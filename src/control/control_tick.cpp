#include "control/control_tick.h"

#include "config/virtual_keys.h"
#include "control/command_message.h"
#include "control/tick_length.h"

namespace zq {

// Flap positions 0..3 as the f label shows them and the command they send.
const std::array<FlapRow, 4> kFlapTable = {{
    {"убраны  ", kNavy, "-1.00", "retracted"},
    {"боевые   ", kLime, "-0.60", "combat"},
    {"взлет    ", kYellow, "-0.34", "take-off"},
    {"посадка  ", kRed, "1.00", "landing"},
}};

namespace {

constexpr int32_t kMaxTimer = 2147483647 - kTickMs;  // counters stop short of overflow

void ShowInt(StatusView& view, Label label, int64_t value) {
  FixedText<24> t;
  t.AppendInt(value);
  view.SetText(label, t.View());
}

Rgb FlagColor(bool on) {
  return on ? kWhite : kYellow;
}

const CurveTable& Selected(const std::array<CurveTable, kCurveSets>& t, int32_t index) {
  return t[static_cast<size_t>(index >= 0 && index < kCurveSets ? index : 0)];
}

void RunTimeCounter(int32_t& counter, Label label, StatusView& view) {
  if (counter <= kMaxTimer) counter += kTickMs;
  view.SetText(label, SecondsText(counter).View());
}

}  // namespace

FixedText<16> SecondsText(int32_t milliseconds) {
  int64_t tenths = (int64_t{milliseconds} + 50) / 100;
  FixedText<16> t;
  t.AppendInt(tenths / 10);
  t.Append('.');
  t.Append(static_cast<char>('0' + tenths % 10));
  return t;
}

void ComputeCurveTables(const CurveBank& bank, CurveTableBank& tables) {
  for (size_t k = 0; k < kCurveSets; ++k) {
    tables.y[k] = ComputeCurveTable(bank.curvesY[k]);
    tables.x[k] = ComputeCurveTable(bank.curvesX[k]);
    tables.z[k] = ComputeCurveTable(bank.curvesZ[k]);
  }
  tables.trimY = ComputeCurveTable(bank.curveTrimY);
  tables.trimX = ComputeCurveTable(bank.curveTrimX);
  tables.trimZ = ComputeCurveTable(bank.curveTrimZ);
}

TickOutcome ControlTick(FormState& form, CurveBank& bank, const CurveTableBank& tables,
                        TickPorts& ports) {
  ControlState& s = form.control;
  InputSnapshot& in = form.input;
  StatusView& view = ports.view;
  MessageBody body;

  // Keys first: the time counters and chat mode see this tick's keys but
  // the joystick records of the previous tick.
  PollKeys(in, form.watchedKeys, ports.devices);
  BindingContext ctx{form.bindings, in, s.chatMode};
  TickChain& chain = form.chain;
  chain.pressed = 0;
  auto pressed = [&](Slot slot) {
    ctx.chatMode = s.chatMode;
    bool now = IsPressed(slot, ctx);
    if (now) chain.pressed |= uint32_t{1} << static_cast<int>(slot);
    return now;
  };
  auto held = [&](Slot slot) { return IsHeld(slot, ctx); };

  // Fire time counters run while their bindings are held.
  bool counter1 = held(Slot::fire) || held(Slot::Fire12);
  bool counter2 = held(Slot::Fire2) || held(Slot::Fire12);
  if (counter1) RunTimeCounter(s.fireTime1, Label::Label1, view);
  if (counter2) RunTimeCounter(s.fireTime2, Label::Label2, view);

  // Chat mode: while on, no key binding but chat is pressed,
  // so typed keys do not fly the plane. Escape or Enter wins over entering
  // it in the same tick.
  if (pressed(Slot::chat)) {
    s.chatMode = true;
    view.SetText(Label::xp, kChatText);
  }
  if (IsDown(in.keyNow[kVkEscape]) || IsDown(in.keyNow[kVkEnter])) {
    s.chatMode = false;
    ShowInt(view, Label::xp, s.throttle);
  }

  // Now the joysticks, for the bindings below.
  FollowSticks(form.sticks, in, ports.devices);
  PollJoysticks(in, form.joyUsed, ports.devices, &form.sticks.map);

  // Trim routing toggles: trim sent apart on its own channel, or mixed into
  // the axis.
  bool trimRouteChanged = false;
  if (pressed(Slot::usetrim)) {
    s.useTrim = !s.useTrim;
    view.SetFontColor(Label::xyp, FlagColor(s.useTrim));
    view.SetFontColor(Label::zyp, FlagColor(s.useTrim));
    trimRouteChanged = true;
  }
  if (pressed(Slot::useYtrim)) {
    s.useYTrim = !s.useYTrim;
    view.SetFontColor(Label::yp, FlagColor(s.useYTrim));
    trimRouteChanged = true;
  }

  // Curve-set switches (up goes to the previous set, wrapping); with no curve
  // set loaded the index stays 0.
  if (pressed(Slot::curveup)) {
    bank.curveIndex =
        bank.curveCount > 0 ? (bank.curveIndex + bank.curveCount - 1) % bank.curveCount : 0;
    ShowInt(view, Label::xp, bank.curveIndex);
    view.RepaintP();
  }
  if (pressed(Slot::curvedown)) {
    bank.curveIndex = bank.curveCount > 0 ? (bank.curveIndex + 1) % bank.curveCount : 0;
    ShowInt(view, Label::xp, bank.curveIndex);
    view.RepaintP();
  }

  // Power: back to the start trim and flaps, time counters to zero; a start
  // flap position outside the table is confined to it.
  if (pressed(Slot::power)) {
    s.trimYBtn = s.startTrim;
    s.flaps = s.startFlaps < 0 ? 0 : (s.startFlaps > 3 ? 3 : s.startFlaps);
    s.fireTime1 = 0;
    s.fireTime2 = 0;
    view.SetText(Label::Label1, "0");
    view.SetText(Label::Label2, "0");
  }

  // Axes and trim axes through their curves.
  const Binding* b = form.bindings.data();
  AxisChain& cy = chain.axes[0];
  AxisChain& cx = chain.axes[1];
  AxisChain& cz = chain.axes[2];
  chain.curveIndex = bank.curveIndex;
  cy.reading = ReadAxis(b[Slot::Yaxis], in);
  cx.reading = ReadAxis(b[Slot::Xaxis], in);
  cz.reading = ReadAxis(b[Slot::Zaxis], in);
  cy.trimReading = ReadAxis(b[Slot::TrimAxis], in);
  cx.trimReading = ReadAxis(b[Slot::TrimXAxis], in);
  cz.trimReading = ReadAxis(b[Slot::TrimZAxis], in);
  s.axisY = LookUpCurve(cy.reading, Selected(tables.y, bank.curveIndex));
  s.axisX = LookUpCurve(cx.reading, Selected(tables.x, bank.curveIndex));
  s.axisZ = LookUpCurve(cz.reading, Selected(tables.z, bank.curveIndex));
  s.trimYAxis = LookUpCurve(cy.trimReading, tables.trimY);
  s.trimXAxis = LookUpCurve(cx.trimReading, tables.trimX);
  s.trimZAxis = LookUpCurve(cz.trimReading, tables.trimZ);

  // Button trims: Z trim steps, trim buttons take over the current mix of
  // axis and trim, reset clears them.
  if (pressed(Slot::IncZtrim)) s.trimZBtn = Limit(Wrap32(int64_t{s.trimZBtn} + 1), 100);
  if (pressed(Slot::DecZtrim)) s.trimZBtn = Limit(Wrap32(int64_t{s.trimZBtn} - 1), 100);
  if (pressed(Slot::trimbtn)) {
    s.trimYBtn = Limit(Wrap32(int64_t{2} * TrimMix(s.axisY, s.trimYTotal)), 100);
    view.SetText(Label::xp, "trim");
  }
  if (pressed(Slot::trimXbtn)) {
    s.trimXBtn = Limit(Wrap32(int64_t{2} * TrimMix(s.axisX, s.trimXTotal)), 100);
    view.SetText(Label::xp, "trim");
  }
  if (pressed(Slot::trimZbtn)) {
    s.trimZBtn = Limit(Wrap32(int64_t{2} * TrimMix(s.axisZ, s.trimZTotal)), 100);
    view.SetText(Label::xp, "trim");
  }
  if (pressed(Slot::resetbtn)) {
    s.trimYBtn = 0;
    s.trimXBtn = 0;
    s.trimZBtn = 0;
  }

  // Flaps one position down or up, within the table.
  if (pressed(Slot::flapsdown) && s.flaps < 3) ++s.flaps;
  if (pressed(Slot::flapsup) && s.flaps > 0) --s.flaps;

  // Throttle in steps, kept within 0..110; Num Lock toggled on and not held
  // selects the fine step.
  s.throttleStep = in.keyNow[kVkNumLock] == 1 ? 2 : 10;
  if (held(Slot::PowerMinus)) s.throttle -= s.throttleStep;
  if (held(Slot::PowerPlus)) s.throttle += s.throttleStep;
  if (s.throttle > 110) s.throttle = 110;
  if (s.throttle < 0) s.throttle = 0;

  // Change checks: each channel whose value changed (or whose last send
  // failed) goes into the message and its label is updated.
  const uint8_t resend = s.resendChannels;
  auto forced = [&](Channel c) { return (resend & ChannelBit(c)) != 0; };

  bool throttleChanged = s.throttle != s.sentThrottle;
  if (throttleChanged || forced(Channel::throttle)) {
    body.AppendText(Channel::throttle, ThrottleText(s.throttle).View());
    s.sentThrottle = s.throttle;
    if (throttleChanged) ShowInt(view, Label::xp, s.throttle);
  }

  struct AxisCheck {
    Channel channel;
    int32_t axis;
    int32_t total;
    bool apart;
    int32_t& sent;
    Label label;
    AxisChain& chain;
  };
  AxisCheck axes[] = {
      {Channel::axisY, s.axisY, s.trimYTotal, s.useYTrim, s.sentY, Label::yp, cy},
      {Channel::axisX, s.axisX, s.trimXTotal, s.useTrim, s.sentX, Label::xyp, cx},
      {Channel::axisZ, s.axisZ, s.trimZTotal, s.useTrim, s.sentZ, Label::zyp, cz},
  };
  for (AxisCheck& a : axes) {
    int32_t v = a.apart ? a.axis : TrimMix(a.axis, a.total);
    a.chain.shaped = a.axis;
    a.chain.trimMixed = a.total;
    a.chain.apart = a.apart;
    a.chain.value = v;
    bool changed = v != a.sent;
    if (!changed && !forced(a.channel)) continue;
    body.AppendHundredths(a.channel, v);
    a.sent = v;
    if (changed) ShowInt(view, a.label, a.axis);
  }

  struct TrimCheck {
    Channel channel;
    int32_t btn;
    int32_t axisPart;
    int32_t& total;
    bool apart;
    Label label;
    AxisChain& chain;
  };
  TrimCheck trims[] = {
      {Channel::trimY, s.trimYBtn, s.trimYAxis, s.trimYTotal, s.useYTrim, Label::ty, cy},
      {Channel::trimX, s.trimXBtn, s.trimXAxis, s.trimXTotal, s.useTrim, Label::tx, cx},
      {Channel::trimZ, s.trimZBtn, s.trimZAxis, s.trimZTotal, s.useTrim, Label::tz, cz},
  };
  for (TrimCheck& t : trims) {
    int32_t total = Wrap32(int64_t{t.btn} + t.axisPart);
    t.chain.trimBtn = t.btn;
    t.chain.trimAxis = t.axisPart;
    t.chain.trimTotal = total;
    t.chain.trimValue = t.apart ? total : 0;
    bool changed = total != t.total || trimRouteChanged;
    if (!changed && !forced(t.channel)) continue;
    if (t.apart) {
      body.AppendHundredths(t.channel, total);
    } else {
      body.AppendZero(t.channel);
    }
    t.total = total;
    if (changed) {
      ShowInt(view, t.label, total);
      view.SetFontColor(t.label, t.axisPart != 0 ? kWhite : kYellow);
    }
  }

  bool flapsChanged = s.flaps != s.sentFlaps;
  if (flapsChanged || forced(Channel::flaps)) {
    const FlapRow& row = kFlapTable[static_cast<size_t>(s.flaps)];
    body.AppendText(Channel::flaps, row.command);
    s.sentFlaps = s.flaps;
    if (flapsChanged) {
      view.SetText(Label::f, row.text);
      view.SetBackground(Label::f, row.background);
    }
  }

  // Remember this tick's joystick records for the next tick's presses.
  StorePrevious(in, form.joyUsed);

  // One datagram at most; what a failed send carried goes out again.
  TickOutcome outcome;
  if (body.Empty()) return outcome;
  FixedText<kBodyCapacity + 1> message = CommandMessage(body);
  outcome.sent = true;
  outcome.result = ports.sender.Send(message.View().data(), message.Size());
  s.resendChannels = outcome.result.Ok() ? 0 : body.Channels();
  return outcome;
}

}  // namespace zq

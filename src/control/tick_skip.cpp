#include "control/tick_skip.h"

#include "control/curve_math.h"

namespace zq {
namespace {

constexpr int kEnter = 13;
constexpr int kEscape = 27;
constexpr int kNumLock = 144;

constexpr int SlotIndex(Slot s) {
  return static_cast<int>(s);
}

}  // namespace

bool NextTickChangesNothing(const FormState& form) {
  const ControlState& s = form.control;
  const InputSnapshot& in = form.input;
  // The next tick sees this very snapshot: its polls read what this tick
  // read, and this tick stored its keys and buttons as the previous ones.
  const BindingContext ctx{form.bindings, in, s.chatMode};
  if (s.resendChannels != 0) return false;
  for (Slot counter : {Slot::fire, Slot::Fire2, Slot::Fire12}) {
    if (IsHeld(SlotIndex(counter), ctx)) return false;
  }
  if (IsDown(in.keyNow[kEscape]) || IsDown(in.keyNow[kEnter])) return false;
  // Edges: none can fire on an unchanged snapshot, but a record that was
  // never stored as previous (a stick outside the polled set) is asked too.
  for (int slot = 0; slot < kSlotCount; ++slot) {
    if (kSlotTable[static_cast<size_t>(slot)].test == SlotTest::pressed && IsPressed(slot, ctx)) {
      return false;
    }
  }

  int32_t throttle = s.throttle;
  const int32_t step = in.keyNow[kNumLock] == 1 ? 2 : 10;
  if (IsHeld(SlotIndex(Slot::PowerMinus), ctx)) throttle -= step;
  if (IsHeld(SlotIndex(Slot::PowerPlus), ctx)) throttle += step;
  if (throttle > 110) throttle = 110;
  if (throttle < 0) throttle = 0;
  if (throttle != s.sentThrottle || throttle != s.throttle) return false;

  // The axes come out as they stand; what is sent of them mixes in the trim
  // totals as the last tick left them.
  auto axisSame = [](int32_t axis, int32_t total, bool apart, int32_t sent) {
    return (apart ? axis : TrimMix(axis, total)) == sent;
  };
  if (!axisSame(s.axisY, s.trimYTotal, s.useYTrim, s.sentY) ||
      !axisSame(s.axisX, s.trimXTotal, s.useTrim, s.sentX) ||
      !axisSame(s.axisZ, s.trimZTotal, s.useTrim, s.sentZ)) {
    return false;
  }
  if (Wrap32(int64_t{s.trimYBtn} + s.trimYAxis) != s.trimYTotal ||
      Wrap32(int64_t{s.trimXBtn} + s.trimXAxis) != s.trimXTotal ||
      Wrap32(int64_t{s.trimZBtn} + s.trimZAxis) != s.trimZTotal) {
    return false;
  }
  if (s.flaps != s.sentFlaps) return false;
  // The step is set on every tick; unchanged it is part of "as it is".
  return s.throttleStep == step;
}

bool MaySkipTicks(const FormState& form) {
  const InputSnapshot& in = form.input;
  bool keyDown = false;
  form.watchedKeys.ForEach(
      [&](int vk) { keyDown = keyDown || IsDown(in.keyNow[static_cast<size_t>(vk)]); });
  if (keyDown) return false;
  const BindingContext ctx{form.bindings, in, form.control.chatMode};
  for (int slot = 0; slot < kSlotCount; ++slot) {
    const Binding& b = form.bindings[static_cast<size_t>(slot)];
    if (b.device != kKeyboard && kSlotTable[static_cast<size_t>(slot)].test != SlotTest::axis &&
        IsHeld(slot, ctx)) {
      return false;
    }
  }
  return NextTickChangesNothing(form);
}

}  // namespace zq

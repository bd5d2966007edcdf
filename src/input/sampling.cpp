#include "input/sampling.h"

#include "config/virtual_keys.h"

namespace zq {
namespace {

bool IsJoystick(const Binding& b) {
  return !b.unbound && b.device >= 0 && b.device < kJoystickCount;
}
bool IsKey(const Binding& b) {
  return !b.unbound && b.device == kKeyboard && b.code >= 0 && b.code <= 255;
}

uint32_t ButtonMask(int32_t code) {
  // low five bits of code - 1: code 0 is button 32, code 33 button 1 again
  return uint32_t{1} << ((static_cast<uint32_t>(code) - 1u) & 31u);
}

bool ModifierMatches(bool required, uint8_t state) {
  return required == IsDown(state);
}

}  // namespace

void PollKeys(InputSnapshot& input, const KeySet& watchedKeys, InputDevices& devices) {
  watchedKeys.ForEach(
      [&](int vk) { input.keyNow[static_cast<size_t>(vk)] = devices.KeyState(vk); });
}

void FollowSticks(StickRouting& sticks, InputSnapshot& input, InputDevices& devices) {
  if (!sticks.pins.Any()) return;
  if (sticks.matched && !devices.SticksChanged()) return;
  sticks.matched = true;
  sticks.presentCount = devices.ListSticks(sticks.present);
  if (sticks.presentCount < 0) sticks.presentCount = 0;
  if (sticks.presentCount > kJoystickCount) sticks.presentCount = kJoystickCount;
  StickMap now;
  MatchSticks(sticks.pins, sticks.Present(), now);
  bool changed = sticks.changes == 0;
  for (size_t id = 0; id < kJoystickCount; ++id) {
    if (now.slot[id] == sticks.map.slot[id] && now.state[id] == sticks.map.state[id] &&
        now.twins[id] == sticks.map.twins[id]) {
      continue;
    }
    changed = true;
    // Nothing of another device, or of this one before it went, stays
    // behind: a stick without a device reads as one that never answered.
    if (now.slot[id] < 0) {
      JoyInfoEx& rec = input.joyInfo[id];
      for (int w = 0; w < JoyInfoEx::kWords; ++w) rec.SetWord(w, 0);
    }
  }
  sticks.map = now;
  if (changed) ++sticks.changes;
}

void PollJoysticks(InputSnapshot& input, JoySet joyUsed, InputDevices& devices,
                   const StickMap* map) {
  for (int id = 0; id < kJoystickCount; ++id) {
    if (!joyUsed.Contains(id)) continue;
    JoyInfoEx& rec = input.joyInfo[static_cast<size_t>(id)];
    rec.dwSize = sizeof(JoyInfoEx);
    rec.dwFlags = kJoyReturnAll;
    const int slot = map != nullptr ? map->slot[static_cast<size_t>(id)] : id;
    // a stick that does not answer keeps its record
    const bool answered = slot >= 0 && devices.PollJoystick(slot, rec);
    const uint16_t bit = static_cast<uint16_t>(1u << id);
    input.joyAnswered =
        static_cast<uint16_t>(answered ? input.joyAnswered | bit : input.joyAnswered & ~bit);
  }
}

void StorePrevious(InputSnapshot& input, JoySet joyUsed) {
  for (int id = 0; id < kJoystickCount; ++id) {
    if (joyUsed.Contains(id)) {
      input.joyPrevButtons[static_cast<size_t>(id)] =
          input.joyInfo[static_cast<size_t>(id)].dwButtons;
    }
  }
  input.keyPrev = input.keyNow;
}

int32_t ReadAxis(const Binding& b, const InputSnapshot& input) {
  if (!IsJoystick(b) || b.code < 0 || b.code >= JoyInfoEx::kWords) return 0;
  uint32_t v = input.joyInfo[static_cast<size_t>(b.device)].Word(b.code);
  // signed 32-bit arithmetic that wraps, as words 6..10 can exceed 65535
  int32_t product = static_cast<int32_t>((v - 32767u) * 1000u);
  return product / 32767;
}

bool IsPressed(int slot, const BindingContext& ctx) {
  const Binding& b = ctx.bindings[static_cast<size_t>(slot)];
  if (IsJoystick(b)) {
    uint32_t mask = ButtonMask(b.code);
    size_t id = static_cast<size_t>(b.device);
    return (ctx.input.joyInfo[id].dwButtons & mask) != 0 &&
           (ctx.input.joyPrevButtons[id] & mask) == 0;
  }
  if (!IsKey(b)) return false;
  const auto& now = ctx.input.keyNow;
  size_t code = static_cast<size_t>(b.code);
  return IsDown(now[code]) && !IsDown(ctx.input.keyPrev[code]) &&
         (!ctx.chatMode || slot == Slot::chat) && ModifierMatches(b.ctrl, now[kVkControl]) &&
         ModifierMatches(b.alt, now[kVkMenu]) && ModifierMatches(b.shift, now[kVkShift]);
}

bool IsHeld(int slot, const BindingContext& ctx) {
  const Binding& b = ctx.bindings[static_cast<size_t>(slot)];
  if (IsJoystick(b)) {
    return (ctx.input.joyInfo[static_cast<size_t>(b.device)].dwButtons & ButtonMask(b.code)) != 0;
  }
  if (!IsKey(b)) return false;
  return IsDown(ctx.input.keyNow[static_cast<size_t>(b.code)]);
}

}  // namespace zq

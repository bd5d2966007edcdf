// What each binding slot and start value does, in a player's words, and the
// groups the configurator shows the slots in.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "config/binding.h"
#include "config/settings_load.h"

namespace zq::check {

struct SlotWords {
  Slot slot;
  std::string_view group;
  std::string_view name;  // "Pitch axis"
  std::string_view what;  // "the stick forward and back"
};

// Every slot once, group by group in the order a player looks for them.
constexpr std::array<SlotWords, kSlotCount> kSlotWords = {{
    {slots::Yaxis, "Flight axes", "Pitch axis", "the stick forward and back"},
    {slots::Xaxis, "Flight axes", "Roll axis", "the stick left and right"},
    {slots::Zaxis, "Flight axes", "Yaw axis", "rudder or twist grip"},
    {slots::trimbtn, "Trims", "Set pitch trim", "trims pitch where the stick stands"},
    {slots::trimXbtn, "Trims", "Set roll trim", "trims roll where the stick stands"},
    {slots::trimZbtn, "Trims", "Set yaw trim", "trims yaw where the twist stands"},
    {slots::resetbtn, "Trims", "Clear trims", "clears the three trims set by buttons"},
    {slots::TrimAxis, "Trims", "Pitch trim axis", "a wheel or knob, shaped by the TrimY curve"},
    {slots::TrimXAxis, "Trims", "Roll trim axis", "shaped by the TrimX curve"},
    {slots::TrimZAxis, "Trims", "Yaw trim axis", "shaped by the TrimZ curve"},
    {slots::IncZtrim, "Trims", "Yaw trim +1", "one hundredth more yaw trim"},
    {slots::DecZtrim, "Trims", "Yaw trim −1", "one hundredth less yaw trim"},
    {slots::power, "Throttle", "Power reset",
     "puts back starttrim and startflaps and clears both counters"},
    {slots::PowerPlus, "Throttle", "Throttle up", "while held: steps of 10, or 2 with Num Lock on"},
    {slots::PowerMinus, "Throttle", "Throttle down", "while held"},
    {slots::flapsdown, "Flaps", "Flaps down", "one step: "},  // and the positions
    {slots::flapsup, "Flaps", "Flaps up", "one step back"},
    {slots::curvedown, "Curve sets", "Next curve set", "after the last comes set 0 again"},
    {slots::curveup, "Curve sets", "Previous curve set", ""},
    {slots::fire, "Fire timers", "Fire", "time counter 1 runs while held"},
    {slots::Fire2, "Fire timers", "Second weapon", "time counter 2 runs while held"},
    {slots::Fire12, "Fire timers", "Both weapons", "both time counters run while held"},
    {slots::chat, "Chat", "Chat mode", "; Enter or Escape ends it"},  // after what xp shows
    {slots::usetrim, "Trim routing", "Roll and yaw trim routing",
     "switches the roll and yaw trims between their own channels and the axes"},
    {slots::useYtrim, "Trim routing", "Pitch trim routing", "the same for the pitch trim"},
}};

constexpr bool EverySlotOnce() {
  std::array<int, kSlotCount> seen{};
  for (const SlotWords& w : kSlotWords) ++seen[static_cast<size_t>(w.slot)];
  for (int n : seen) {
    if (n != 1) return false;
  }
  return true;
}
static_assert(EverySlotOnce(), "every slot has its words, once");

// What the slot does, whole: the flap positions and the chat text filled in.
std::string SlotWhat(const SlotWords& words);

// What a start value sets, as the configurator shows it beside its field.
std::string ValueWhat(const IntegerSetting& setting);

}  // namespace zq::check

// The part of the live devices every platform shares: which sticks came or
// went, the keys down as a set, and the chords they make.
#include "platform/live_devices.h"

#include <algorithm>

namespace zq {

void LiveDevices::Refresh() {
  Read();
  std::vector<LiveStick> now = Sticks();
  changes_.clear();
  auto has = [](const std::vector<LiveStick>& list, int id) {
    return std::any_of(list.begin(), list.end(), [id](const LiveStick& s) { return s.id == id; });
  };
  // The first reading is the starting point, not a change.
  if (refreshed_) {
    for (const LiveStick& s : last_) {
      if (!has(now, s.id)) changes_.push_back({s.id, false, {}});
    }
    for (const LiveStick& s : now) {
      if (!has(last_, s.id)) changes_.push_back({s.id, true, s.name});
    }
  }
  refreshed_ = true;
  last_ = std::move(now);
}

KeySet LiveDevices::KeysDown() {
  KeySet down{};
  for (int vk = 1; vk < 256; ++vk) {
    if ((KeyState(vk) & 0x80) != 0) down.Add(vk);
  }
  return down;
}

KeyChord ChordHeld(int vk, const KeySet& down) {
  KeyChord chord{vk};
  if (IsModifierKey(vk)) return chord;
  auto any = [&down](int generic, int left, int right) {
    return down.Contains(generic) || down.Contains(left) || down.Contains(right);
  };
  chord.ctrl = any(17, 162, 163);
  chord.alt = any(18, 164, 165);
  chord.shift = any(16, 160, 161);
  return chord;
}

bool IsShownKey(int vk) {
  return vk >= 8 && vk <= 255 && !(vk >= 160 && vk <= 165);
}

}  // namespace zq

// The virtual-key codes the panel itself reads, in the Windows numbering
// that bindings use on every platform. The settings load always watches
// Enter, Escape and Num Lock; Shift, Control and Alt are read as modifiers.
#pragma once

namespace zq {

constexpr int kVkEnter = 13;     // ends chat mode
constexpr int kVkShift = 16;     // modifier of key bindings
constexpr int kVkControl = 17;   // modifier of key bindings
constexpr int kVkMenu = 18;      // Alt, modifier of key bindings
constexpr int kVkEscape = 27;    // ends chat mode
constexpr int kVkNumLock = 144;  // toggled on: the fine throttle step

}  // namespace zq

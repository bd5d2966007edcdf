// What zq-probe prints about a joystick between two polls, on every system.
#pragma once

#include <string>
#include <vector>

#include "input/sampling.h"
#include "input/stick_identity.h"

namespace zq {

struct StickMemory {
  bool seen = false;
  JoyInfoEx record{};
};

// Lines for the axes that moved noticeably, the buttons that went down and a
// hat that turned, each with the binding text; updates `last`.
std::vector<std::string> StickChanges(int id, const JoyInfoEx& now, StickMemory& last);

// The [sticks] line that keeps this device on joystick `id`, as zq-probe
// prints it under the stick: "    [sticks] 0=044f:b10a "Flight Stick"
// serial=0A1B2C", with a word on what the pin can and cannot tell apart.
std::string ProbePinLine(int id, const StickIdentity& device, bool bluetooth = false);

}  // namespace zq

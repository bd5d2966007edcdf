// What zq-probe prints about a joystick between two polls, on every system.
#pragma once

#include <string>
#include <vector>

#include "input/sampling.h"

namespace zq {

struct StickMemory {
  bool seen = false;
  JoyInfoEx record{};
};

// Lines for the axes that moved noticeably, the buttons that went down and a
// hat that turned, each with the binding text; updates `last`.
std::vector<std::string> StickChanges(int id, const JoyInfoEx& now, StickMemory& last);

}  // namespace zq

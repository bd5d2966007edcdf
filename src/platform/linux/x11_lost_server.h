// The X server going away (it ended, the session closed): the program ends
// with one line on stderr naming itself and the display, exit code 1.
// Xlib's own handler prints a bare line without the program's name.
#pragma once

#include <string>

namespace zq {

// For every X connection of the process, SDL's included; set before the
// first one is opened.
void EndWhenXServerGoes(const std::string& programTitle);

}  // namespace zq

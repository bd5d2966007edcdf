// zq-replay: the settings load and the control tick on scripted input.
#pragma once

#include <istream>
#include <ostream>
#include <string>

#include "app/placement.h"
#include "control/datagram_sender.h"

namespace zq {

struct ReplayOptions {
  std::string setupPath = "Setup.ini";
  ScreenSize screen{1920, 1080};
  // Also hands each command message to this sender (zq-replay --udp gives
  // the platform's real one); none: no network at all.
  DatagramSender* udp = nullptr;
};

// Runs the script; events go to `out`. Returns 0 after the whole script ran,
// 2 after a malformed line (one line "NAME:LINE: what is wrong" on `err`).
int RunReplay(const ReplayOptions& options, std::istream& script, const std::string& scriptName,
              std::ostream& out, std::ostream& err);

}  // namespace zq

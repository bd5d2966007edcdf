// zq-replay [--setup PATH] [--screen WxH] [--udp] [SCRIPT]
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <string_view>

#include "app/version.h"
#include "control/datagram_sender.h"
#include "platform/platform.h"
#include "platform/script/replay.h"
#include "tool_args.h"

namespace {

const std::string kUsage =
    "usage: zq-replay [--setup PATH] [--screen WxH] [--udp] [--help] [--version]\n"
    "                 [SCRIPT]\n"
    "Runs the settings load and the control tick of the panel on a scripted\n"
    "input and prints what they do as JSON Lines. SCRIPT '-' or none reads\n"
    "standard input.\n"
    "\n"
    "  --setup PATH   the settings file to load (default: Setup.ini here; a\n"
    "                 missing file means all defaults, as in the panel)\n"
    "  --screen WxH   the primary screen for window placement (default 1920x1080)\n"
    "  --udp          also send each command message to " +
    std::string(zq::kCommandAddress) +
    "\n"
    "  --help         show this and exit\n"
    "  --version      show the version and exit\n"
    "Options take their value as '--opt value' or '--opt=value'.\n"
    "\n"
    "Exit status: 0 the whole script ran (errors the panel would show in an\n"
    "error box are events, not failures); 2 a malformed script line or bad\n"
    "usage, with one line on standard error.\n";

int Usage(std::string_view problem) {
  return zq::tools::UsageError("zq-replay", problem);
}

}  // namespace

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  zq::UseBinaryStandardStreams();  // the events are the same bytes everywhere
  zq::ReplayOptions options;
  std::unique_ptr<zq::DatagramSender> sender;
  std::string script = "-";
  bool haveScript = false;
  zq::tools::ArgReader args(argc, argv);
  while (args.Next()) {
    std::string_view a = args.Name();
    bool takesValue = a == "--setup" || a == "--screen";
    if (!args.IsOption()) {
      if (haveScript) return Usage("more than one script given");
      script = std::string(a);
      haveScript = true;
    } else if (auto status = args.CommonOption("zq-replay", kUsage, takesValue)) {
      return *status;
    } else if (a == "--setup") {
      std::optional<std::string> v = args.Value();
      if (!v) return Usage("--setup needs a path");
      options.setupPath = *v;
    } else if (a == "--screen") {
      std::optional<std::string> v = args.Value();
      std::optional<zq::ScreenSize> screen = v ? zq::tools::ParseScreen(*v) : std::nullopt;
      if (!screen) return Usage(zq::tools::kScreenProblem);
      options.screen = *screen;
    } else if (a == "--udp") {
      if (!sender) sender = zq::MakeCommandSender();
      options.udp = sender.get();
    } else {
      return Usage("unknown option '" + args.Shown() + "'");
    }
  }
  if (script == "-") return zq::RunReplay(options, std::cin, "<stdin>", std::cout, std::cerr);
  std::ifstream in(script, std::ios::binary);
  if (!in) {
    std::cerr << script << ":0: cannot open the script\n";
    return 2;
  }
  return zq::RunReplay(options, in, script, std::cout, std::cerr);
}

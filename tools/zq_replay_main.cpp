// zq-replay [--setup PATH] [--screen WxH] [--udp] [SCRIPT]
#include <fstream>
#include <iostream>
#include <string>
#include <string_view>

#include "app/version.h"
#include "platform/script/replay.h"

namespace {

constexpr std::string_view kUsage =
    "usage: zq-replay [--setup PATH] [--screen WxH] [--udp] [SCRIPT]\n"
    "Runs the settings load and the control tick of the panel on a scripted\n"
    "input and prints what they do as JSON Lines. SCRIPT '-' or none reads\n"
    "standard input.\n";

bool ParseScreen(std::string_view s, zq::ScreenSize& screen) {
  size_t x = s.find('x');
  if (x == std::string_view::npos || x == 0 || x + 1 >= s.size()) return false;
  auto parse = [](std::string_view d, int32_t& out) {
    if (d.size() > 6) return false;
    int32_t v = 0;
    for (char c : d) {
      if (c < '0' || c > '9') return false;
      v = v * 10 + (c - '0');
    }
    out = v;
    return true;
  };
  return parse(s.substr(0, x), screen.width) && parse(s.substr(x + 1), screen.height);
}

int Usage(std::string_view problem) {
  std::cerr << "zq-replay: " << problem << " (zq-replay --help shows the usage)\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  zq::ReplayOptions options;
  std::string script = "-";
  bool haveScript = false;
  for (int i = 1; i < argc; ++i) {
    std::string_view a = argv[i];
    if (a == "--help" || a == "-h") {
      std::cout << kUsage;
      return 0;
    } else if (a == "--version") {
      std::cout << "zq-replay " << zq::kVersion << '\n';
      return 0;
    } else if (a == "--setup") {
      if (++i >= argc) return Usage("--setup needs a path");
      options.setupPath = argv[i];
    } else if (a == "--screen") {
      if (++i >= argc || !ParseScreen(argv[i], options.screen)) {
        return Usage("--screen needs a size such as 1920x1080");
      }
    } else if (a == "--udp") {
      options.udp = true;
    } else if (a.size() > 1 && a[0] == '-' && a != "-") {
      return Usage("unknown option '" + std::string(a) + "'");
    } else if (haveScript) {
      return Usage("more than one script given");
    } else {
      script = std::string(a);
      haveScript = true;
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

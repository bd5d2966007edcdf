// zq-check [--json] [--quiet] [--screen WxH] [--svg FILE] [SETUP]
#include <fstream>
#include <iostream>
#include <string>
#include <string_view>

#include "app/version.h"
#include "platform/platform.h"
#include "tool_args.h"
#include "zq_check/check_model.h"
#include "zq_check/json_report.h"
#include "zq_check/svg_plot.h"
#include "zq_check/text_report.h"

namespace {

constexpr std::string_view kProgram = "zq-check";

constexpr std::string_view kUsage =
    "usage: zq-check [--json] [--quiet] [--screen WxH] [--svg FILE] [--help] [--version]\n"
    "                [SETUP]\n"
    "Loads SETUP (default: Setup.ini in the current directory, where the panel\n"
    "looks for it) exactly as the panel does and explains it: every binding in\n"
    "words, the watched keys and polled joysticks, each curve set as a table and a\n"
    "chart, the start values, and what deserves attention, with line numbers.\n"
    "\n"
    "  --json          print the same facts as one JSON object instead of the text\n"
    "  --quiet         print only the findings and the summary\n"
    "  --screen WxH    the primary screen the panel is placed on (default: the\n"
    "                  current primary screen when it can be asked, else 1920x1080)\n"
    "  --svg FILE      also write the curves as an SVG plot to FILE ('-': standard\n"
    "                  output, instead of the report)\n"
    "  --help          show this and exit\n"
    "  --version       show the version and exit\n"
    "Options take their value as '--opt value' or '--opt=value'.\n"
    "\n"
    "Findings: an error is a binding that makes the panel show an error box and\n"
    "stop loading (zq-check reads on past it as if it were valid, and says so),\n"
    "or a SETUP named here that does not exist; warnings are mistakes the panel\n"
    "passes over silently (unknown keys, key names such as F5 or Ctrl+P where\n"
    "the grammar has none, curve texts that stop early or lost their leading 0,\n"
    "curve keys never read, gaps in Y1..Y9, axis slots on words that are no axis,\n"
    "joysticks 16 and up, keyboard codes outside 0..255, inputs shared by several\n"
    "slots, startflaps outside 0..3, a panel placed off the screen, a comment\n"
    "after a value, UTF-16 text); notes are worth knowing but change nothing by\n"
    "themselves. Without SETUP a missing Setup.ini is no error: the panel then\n"
    "runs on its defaults, which zq-check explains (their \"0 0\" bindings share\n"
    "one button: status 1).\n"
    "\n"
    "Exit status: 0 no warnings (notes allowed), 1 warnings, 2 errors (the panel\n"
    "would show an error box, SETUP does not exist, the SVG file cannot be\n"
    "written) or bad usage.\n";
}  // namespace

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  using zq::tools::UsageError;
  bool json = false;
  bool quiet = false;
  bool haveScreen = false;
  std::string svgPath;
  std::string setupPath = "Setup.ini";
  zq::check::CheckOptions options;
  zq::tools::ArgReader args(argc, argv);
  while (args.Next()) {
    std::string_view a = args.Name();
    if (!args.IsOption()) {
      if (options.named) return UsageError(kProgram, "more than one settings file given");
      setupPath = std::string(a);
      options.named = true;
      continue;
    }
    const bool takesValue = a == "--svg" || a == "--screen";
    if (auto status = args.CommonOption(kProgram, kUsage, takesValue)) {
      return *status;
    } else if (a == "--json") {
      json = true;
    } else if (a == "--quiet" || a == "-q") {
      quiet = true;
    } else if (a == "--svg") {
      std::optional<std::string> v = args.Value();
      if (!v || v->empty()) return UsageError(kProgram, "--svg needs a file name");
      svgPath = *v;
    } else if (a == "--screen") {
      std::optional<std::string> v = args.Value();
      std::optional<zq::ScreenSize> screen = v ? zq::tools::ParseScreen(*v) : std::nullopt;
      if (!screen) return UsageError(kProgram, zq::tools::kScreenProblem);
      options.screen = *screen;
      haveScreen = true;
    } else {
      return UsageError(kProgram, "unknown option '" + args.Shown() + "'");
    }
  }
  if (!haveScreen) {
    if (auto screen = zq::AskPrimaryScreen()) options.screen = *screen;
  }

  zq::check::CheckResult result = zq::check::CheckSettingsFile(setupPath, options);
  if (svgPath == "-") {
    // the plot is the output: the findings speak through the status alone
    zq::check::WriteCurvesSvg(result, std::cout);
    std::cout.flush();
    return result.ExitStatus();
  }
  if (!svgPath.empty()) {
    std::ofstream svg(svgPath, std::ios::binary);
    if (svg) zq::check::WriteCurvesSvg(result, svg);
    if (!svg || !svg.flush()) {
      std::cerr << "zq-check: cannot write the SVG file '" << svgPath << "'\n";
      return 2;
    }
  }
  if (json) {
    zq::check::WriteJsonReport(result, std::cout);
  } else if (quiet) {
    zq::check::WriteFindings(result, std::cout);
  } else {
    zq::check::WriteTextReport(result, std::cout);
  }
  std::cout.flush();
  return result.ExitStatus();
}

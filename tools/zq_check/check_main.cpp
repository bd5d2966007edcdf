// zq-check [--json] [--quiet] [--svg FILE] [Setup.ini]
#include <fstream>
#include <iostream>
#include <string>
#include <string_view>

#include "app/version.h"
#include "zq_check/check_model.h"
#include "zq_check/json_report.h"
#include "zq_check/svg_plot.h"
#include "zq_check/text_report.h"

namespace {

constexpr int kUsageStatus = 3;

constexpr std::string_view kUsage =
    "usage: zq-check [--json] [--quiet] [--svg FILE] [SETUP]\n"
    "Loads SETUP (default: Setup.ini in the current directory, where the panel\n"
    "looks for it) exactly as the panel does and explains it: every binding in\n"
    "words, the watched keys and polled joysticks, each curve set as a table and a\n"
    "chart, the start values, and what deserves attention, with line numbers.\n"
    "\n"
    "  --json      print the same facts as one JSON object instead of the text\n"
    "  --quiet     print only the findings and the summary\n"
    "  --svg FILE  also write the curves as an SVG plot to FILE\n"
    "  --help      show this and exit\n"
    "  --version   show the version and exit\n"
    "\n"
    "Findings: an error is a binding that makes the panel show an error box and\n"
    "stop loading; warnings are mistakes the panel passes over silently (unknown\n"
    "keys, curve texts that stop early, curve keys never read, gaps in Y1..Y9,\n"
    "startflaps outside 0..3, keyboard codes outside 0..255, inputs shared by\n"
    "several slots); notes are worth knowing but change nothing by themselves.\n"
    "A missing file is no error: the panel then runs on its defaults, which\n"
    "zq-check explains (their \"0 0\" bindings share one button: status 1).\n"
    "\n"
    "Exit status: 0 no warnings (notes allowed), 1 warnings, 2 the panel would\n"
    "show an error box, 3 bad usage or the SVG file cannot be written.\n";

int Usage(std::string_view problem) {
  std::cerr << "zq-check: " << problem << '\n' << kUsage;
  return kUsageStatus;
}

}  // namespace

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  bool json = false;
  bool quiet = false;
  std::string svgPath;
  std::string setupPath = "Setup.ini";
  bool havePath = false;
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    std::string_view a = argv[i];
    if (!optionsEnded && a.size() > 1 && a[0] == '-') {
      if (a == "--") {
        optionsEnded = true;
      } else if (a == "--help" || a == "-h") {
        std::cout << kUsage;
        return 0;
      } else if (a == "--version") {
        std::cout << "zq-check " << zq::kVersion << '\n';
        return 0;
      } else if (a == "--json") {
        json = true;
      } else if (a == "--quiet" || a == "-q") {
        quiet = true;
      } else if (a == "--svg") {
        if (++i >= argc) return Usage("--svg needs a file name");
        svgPath = argv[i];
      } else {
        return Usage("unknown option '" + std::string(a) + "'");
      }
    } else if (havePath) {
      return Usage("more than one settings file given");
    } else {
      setupPath = std::string(a);
      havePath = true;
    }
  }

  zq::check::CheckResult result = zq::check::CheckSettingsFile(setupPath);
  if (!svgPath.empty()) {
    std::ofstream svg(svgPath, std::ios::binary);
    if (svg) zq::check::WriteCurvesSvg(result, svg);
    if (!svg || !svg.flush()) {
      std::cerr << "zq-check: cannot write the SVG file '" << svgPath << "'\n";
      return kUsageStatus;
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

// zq-probe's command line, the same on every platform:
// zq-probe [--seconds N] [--help] [--version].
#pragma once

#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "app/version.h"
#include "tool_args.h"

namespace zq::tools {

// Reads the arguments into `seconds` (0: until stopped). Returns nullopt to
// go on, or the status to exit with: 0 after --help or --version (printed on
// standard output), 2 after a usage error (one line on standard error).
inline std::optional<int> ReadProbeArgs(int argc, char** argv, const char* usage, double& seconds) {
  constexpr std::string_view kProgram = "zq-probe";
  auto parseSeconds = [&](const std::string& text) {
    char* end = nullptr;
    seconds = std::strtod(text.c_str(), &end);
    return !text.empty() && end != nullptr && *end == '\0' && seconds > 0 && seconds <= 86400 * 365;
  };
  ArgReader args(argc, argv);
  while (args.Next()) {
    std::string_view a = args.Name();
    if (!args.IsOption()) {
      return UsageError(kProgram, "unexpected argument '" + args.Shown() + "'");
    } else if (auto status = args.CommonOption(kProgram, usage, a == "--seconds")) {
      return *status;
    } else if (a == "--seconds") {
      std::optional<std::string> v = args.Value();
      if (!v || !parseSeconds(*v)) {
        return UsageError(kProgram, "--seconds needs a number of seconds above 0");
      }
    } else {
      return UsageError(kProgram, "unknown option '" + args.Shown() + "'");
    }
  }
  return std::nullopt;
}

}  // namespace zq::tools

// `zq-setup ui [--port N] [--no-browser]`: its options, then the server.
#include <charconv>

#include "zq_setup/ui/ui_server.h"

namespace zq::setup::ui {
namespace {

// A whole number of decimal digits, from `min` to `max`.
bool ParseNumber(const std::string& text, unsigned min, unsigned max, unsigned& out) {
  if (text.empty() || text[0] < '0' || text[0] > '9') return false;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
  return ec == std::errc() && end == text.data() + text.size() && out >= min && out <= max;
}

}  // namespace

// `args` are the configurator's options as zq-setup's command line gave them,
// each value after its name.
int UiCommand(const SetupOptions& o, const std::vector<std::string>& args, SetupContext& ctx) {
  UiOptions options;
  options.path = o.path;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const std::string value = i + 1 < args.size() ? args[i + 1] : "";
    unsigned n = 0;
    if (a == "--no-browser") {
      options.openBrowser = false;
    } else if (a == "--port") {
      if (!ParseNumber(value, 0, 65535, n))
        return UsageError(ctx, "--port takes a number from 0 (a free port) to 65535");
      options.port = static_cast<unsigned short>(n);
      options.filePort = false;
      ++i;
    } else if (a == "--idle-seconds") {
      if (!ParseNumber(value, 1, 86400, n))
        return UsageError(ctx, "--idle-seconds takes a number of seconds from 1 to 86400");
      options.idleSeconds = static_cast<int>(n);
      ++i;
    } else {
      return UsageError(ctx, "ui takes --port N and --no-browser");
    }
  }
  LiveSource live;
  return RunUi(options, ctx, live);
}

}  // namespace zq::setup::ui

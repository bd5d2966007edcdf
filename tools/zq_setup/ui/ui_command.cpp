// `zq-setup ui [--port N] [--no-browser]`: its options, then the server.
#include <algorithm>
#include <charconv>
#include <cstdlib>

#include "zq_setup/ui/ui_server.h"

namespace zq::setup::ui {

int UiCommand(const SetupOptions& o, const std::vector<std::string>& args, SetupContext& ctx) {
  UiOptions options;
  options.path = o.path;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--no-browser") {
      options.openBrowser = false;
    } else if (a == "--port" && i + 1 < args.size()) {
      const std::string& v = args[++i];
      unsigned port = 0;
      auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), port);
      if (ec != std::errc() || end != v.data() + v.size() || port > 65535) {
        ctx.err << "zq-setup: --port takes a number from 0 (a free port) to 65535\n";
        return kUsageStatus;
      }
      options.port = static_cast<unsigned short>(port);
      options.filePort = false;
    } else if (a == "--idle-seconds" && i + 1 < args.size()) {
      options.idleSeconds = std::max(1, std::atoi(args[++i].c_str()));
    } else {
      ctx.err << "zq-setup: ui takes --port N and --no-browser\n" << kUsage;
      return kUsageStatus;
    }
  }
  LiveSource live;
  return RunUi(options, ctx, live);
}

}  // namespace zq::setup::ui

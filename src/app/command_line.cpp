#include "app/command_line.h"

#include "app/version.h"
#include "control/datagram_sender.h"

namespace zq {

PanelOptions ParsePanelOptions(const std::vector<std::string>& args) {
  PanelOptions o;
  auto bad = [&o](std::string why) {
    o.action = PanelOptions::Action::bad;
    o.error = std::move(why);
    return o;
  };
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--help" || a == "-h" || a == "/?") {
      o.action = PanelOptions::Action::help;
      return o;
    }
    if (a == "--version") {
      o.action = PanelOptions::Action::version;
      return o;
    }
    std::string value;
    if (a == "--setup") {
      if (i + 1 >= args.size()) return bad("--setup needs a file or a folder");
      value = args[++i];
    } else if (a.rfind("--setup=", 0) == 0) {
      value = a.substr(8);
    } else {
      return bad("unknown argument \"" + a + "\"");
    }
    if (value.empty()) return bad("--setup needs a file or a folder");
    if (o.setupChosen) return bad("--setup given twice");
    o.setupChosen = true;
    o.setup = value;
  }
  return o;
}

std::string PanelHelpText(std::string_view program) {
  std::string p(program);
  return "Usage: " + p + " [--setup PATH]\n" + "       " + p +
         " --help | --version\n"
         "\n"
         "Shows the ZQ - Thrust panel and sends the controls bound in Setup.ini\n"
         "to the simulator at " +
         std::string(kCommandAddress) +
         ".\n"
         "\n"
         "  --setup PATH  read PATH as the settings file; when PATH is a folder,\n"
         "                read Setup.ini in it. Without it: Setup.ini in the\n"
         "                folder the panel starts in.\n"
         "  --help        print this text and end\n"
         "  --version     print the version and end\n";
}

std::string PanelVersionText(std::string_view program) {
  return std::string(program) + " " + kVersion + "\n";
}

std::filesystem::path SettingsPathOf(const PanelOptions& options) {
  if (!options.setupChosen) return std::filesystem::path(".") / "Setup.ini";
  std::filesystem::path p = std::filesystem::u8path(options.setup);
  std::error_code ec;
  if (std::filesystem::is_directory(p, ec)) return p / "Setup.ini";
  return p;
}

}  // namespace zq

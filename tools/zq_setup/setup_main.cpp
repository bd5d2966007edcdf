// zq-setup [--setup PATH] [--section NAME] [--force] [get|set|unset|check|ui] ... (options in any
// order)
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "tools/example_setup.h"
#include "zq_setup/setup_commands.h"
#ifdef ZQ_SETUP_UI
#include "zq_setup/ui/ui_server.h"
#endif

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  std::unique_ptr<zq::FileOps> ops = zq::MakePlatformFileOps();
  zq::setup::SetupContext ctx{*ops, std::cout, std::cerr, zq::kExampleSetupText};
#ifdef _WIN32
  ctx.newFileLineEnd = "\r\n";  // as Windows editors write it
#endif
#ifdef ZQ_SETUP_UI
  ctx.runUi = zq::setup::ui::UiCommand;
#endif
  std::vector<std::string> args(argv + 1, argv + argc);
#ifndef _WIN32
  // A menu entry's command line passes "~/flying/Setup.ini" unexpanded: no shell runs it.
  const char* home = std::getenv("HOME");
  for (size_t i = 0; i < args.size() && home != nullptr && *home != '\0'; ++i) {
    if (args[i] == "--") break;
    if (args[i] == "--setup" && i + 1 < args.size() && args[i + 1].starts_with("~/")) {
      args[i + 1] = home + args[i + 1].substr(1);
    } else if (args[i].starts_with("--setup=~/")) {
      args[i] = "--setup=" + (home + args[i].substr(9));
    }
  }
#endif
  int status = zq::setup::RunSetup(args, ctx);
  std::cout.flush();
  return status;
}

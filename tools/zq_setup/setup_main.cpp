// zq-setup [--setup PATH] [--section NAME] [--force] [get|set|unset|check|ui] ...
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
  int status = zq::setup::RunSetup(args, ctx);
  std::cout.flush();
  return status;
}

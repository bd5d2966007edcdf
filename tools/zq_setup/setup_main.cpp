// zq-setup [--setup PATH] [--section NAME] [--force] get|set|unset|check ...
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "tools/example_setup.h"
#include "zq_setup/setup_commands.h"

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  std::unique_ptr<zq::FileOps> ops = zq::MakePlatformFileOps();
  zq::setup::SetupContext ctx{*ops, std::cout, std::cerr, zq::kExampleSetupText};
#ifdef _WIN32
  ctx.newFileLineEnd = "\r\n";  // as Windows editors write it
#endif
  std::vector<std::string> args(argv + 1, argv + argc);
  int status = zq::setup::RunSetup(args, ctx);
  std::cout.flush();
  return status;
}

// zq-setup's commands on a settings file: get, set, unset, check. Each
// command is one entry of a table, run with the options every command shares.
#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "config/settings_store.h"

namespace zq::setup {

constexpr int kNotDoneStatus = 2;  // refused or failed: nothing was written
constexpr int kUsageStatus = 2;    // bad usage, as for every zq tool: nothing was written

struct SetupOptions;
struct SetupContext;
using UiRunner =
    std::function<int(const SetupOptions&, const std::vector<std::string>&, SetupContext&)>;

struct SetupContext {
  FileOps& ops;
  std::ostream& out;
  std::ostream& err;
  std::string_view exampleText;  // the layout a new Setup.ini starts from
  std::string newFileLineEnd = "\n";
  UiRunner runUi = nullptr;  // the configurator page, where the program has it
};

struct SetupOptions {
  std::string path = "Setup.ini";
  std::string section = "main";
  bool force = false;
};

extern const std::string_view kUsage;

// "zq-setup: PROBLEM; try 'zq-setup --help'" on ctx.err; the usage status.
int UsageError(SetupContext& ctx, std::string_view problem);

// Parses the command line (without the program name) and runs the command.
// Returns the exit status.
int RunSetup(const std::vector<std::string>& args, SetupContext& ctx);

// The lines an edit changed, as a diff of the file's lines.
void WriteChanges(const std::string& path, const std::vector<LineChange>& changes,
                  std::ostream& out);

}  // namespace zq::setup

// The command-line habits every zq tool shares: "--opt value" and
// "--opt=value", "--help" (and "/?" on Windows) on standard output, and a
// usage error as one line naming the bad argument, status 2.
#pragma once

#include <iostream>
#include <optional>
#include <string>
#include <string_view>

namespace zq::tools {

constexpr int kUsageStatus = 2;

// "zq-check: unknown option '--jsn'; try 'zq-check --help'" on standard error.
inline int UsageError(std::string_view program, std::string_view problem) {
  std::cerr << program << ": " << problem << "; try '" << program << " --help'\n";
  return kUsageStatus;
}

class ArgReader {
 public:
  ArgReader(int argc, char** argv) : argc_(argc), argv_(argv) {}

  // Moves to the next argument; false at the end.
  bool Next() {
    if (++i_ >= argc_) return false;
    std::string_view a = argv_[i_];
    if (!ended_ && a == "--") {  // ends the options: what follows are names
      ended_ = true;
      return Next();
    }
    inline_.reset();
    name_ = a;
    if (!ended_ && a.size() > 2 && a.substr(0, 2) == "--") {
      if (size_t eq = a.find('='); eq != std::string_view::npos) {
        name_ = a.substr(0, eq);
        inline_ = std::string(a.substr(eq + 1));
      }
    }
    return true;
  }
  // The argument, or an option's name without its "=value".
  std::string_view Name() const { return name_; }
  // An option: not "-", not after "--".
  bool IsOption() const {
    return (!ended_ && name_.size() > 1 && name_[0] == '-') || IsWindowsHelp();
  }
  bool IsHelp() const { return name_ == "--help" || name_ == "-h" || IsWindowsHelp(); }
  // "--opt=value" gives "value"; "--opt value" takes the next argument.
  std::optional<std::string> Value() {
    if (inline_) return inline_;
    if (i_ + 1 >= argc_) return std::nullopt;
    return std::string(argv_[++i_]);
  }
  // A flag given "=value" ("--json=yes"): a usage error.
  bool HasInlineValue() const { return inline_.has_value(); }
  std::string Shown() const { return std::string(argv_[i_]); }

 private:
  bool IsWindowsHelp() const {
#ifdef _WIN32
    return !ended_ && name_ == "/?";
#else
    return false;
#endif
  }

  int argc_;
  char** argv_;
  int i_ = 0;
  bool ended_ = false;
  std::string_view name_;
  std::optional<std::string> inline_;
};

}  // namespace zq::tools

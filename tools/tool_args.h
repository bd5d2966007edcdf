// The command-line habits every zq tool shares: "--opt value" and
// "--opt=value", "--help" (and "/?" on Windows) on standard output, and a
// usage error as one line naming the bad argument, status 2.
#pragma once

#include <charconv>
#include <cstdint>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "app/placement.h"
#include "app/version.h"

namespace zq::tools {

constexpr int kUsageStatus = 2;

// "zq-check: unknown option '--jsn'; try 'zq-check --help'" on standard error.
inline int UsageError(std::string_view program, std::string_view problem) {
  std::cerr << program << ": " << problem << "; try '" << program << " --help'\n";
  return kUsageStatus;
}

// A whole number written with decimal digits only (no sign, no blanks), of
// at most `maxDigits` digits and at most `max`.
inline std::optional<uint64_t> ParseDecimal(std::string_view text, uint64_t max,
                                            size_t maxDigits = 20) {
  if (text.empty() || text.size() > maxDigits || text[0] < '0' || text[0] > '9') {
    return std::nullopt;
  }
  uint64_t v = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || end != text.data() + text.size() || v > max) return std::nullopt;
  return v;
}

// "--screen WxH", the same for every tool: the primary screen's width and
// height in pixels, "1920x1080" or "1920X1080". A screen has at least one
// pixel each way and fewer than 100000: anything else is a typing slip that
// would only move the panel somewhere meaningless, so it is refused rather
// than run with.
inline std::optional<ScreenSize> ParseScreen(std::string_view text) {
  size_t x = text.find_first_of("xX");
  if (x == std::string_view::npos) return std::nullopt;
  auto w = ParseDecimal(text.substr(0, x), 99999, 5);
  auto h = ParseDecimal(text.substr(x + 1), 99999, 5);
  if (!w || !h || *w == 0 || *h == 0) return std::nullopt;
  return ScreenSize{static_cast<int32_t>(*w), static_cast<int32_t>(*h)};
}
inline constexpr std::string_view kScreenProblem = "--screen needs a size such as 1920x1080";

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

  // What every tool's options share, for the option just read: a flag given
  // "=value" is a usage error; --help prints `usage` and --version the
  // version, on standard output. Returns the status to exit with, or nullopt
  // when the option is none of these.
  std::optional<int> CommonOption(std::string_view program, std::string_view usage,
                                  bool takesValue) const {
    if (!takesValue && HasInlineValue()) {
      return UsageError(program, "'" + Shown() + "': " + std::string(name_) + " takes no value");
    }
    if (IsHelp()) {
      std::cout << usage << std::flush;
      return 0;
    }
    if (name_ == "--version") {
      std::cout << program << ' ' << kVersion << std::endl;
      return 0;
    }
    return std::nullopt;
  }

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

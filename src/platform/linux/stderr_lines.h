// Report lines on stderr, each behind the program title: "zq-thrust: ...".
#pragma once

#include <cstdio>
#include <string>

#include "app/run_report.h"

namespace zq {

class StderrLines : public ReportLines {
 public:
  explicit StderrLines(std::string title) : title_(std::move(title)) {}
  void Line(std::string_view text) override {
    std::fprintf(stderr, "%s: %.*s\n", title_.c_str(), static_cast<int>(text.size()), text.data());
    std::fflush(stderr);
  }

 private:
  std::string title_;
};

}  // namespace zq

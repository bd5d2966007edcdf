#include "app/error_report.h"

#include "config/ascii.h"

#include <cstdio>

namespace zq {
namespace {

std::string_view BaseName(std::string_view path) {
  size_t slash = path.find_last_of("/\\");
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

}  // namespace

ReportText MakeReportText(std::string_view message) {
  ReportText t;
  t.Append(message);
  if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') t.Append('.');
  return t;
}

std::string ProgramTitle(std::string_view executablePath) {
  std::string_view name = BaseName(executablePath);
  std::string title(name.substr(0, name.find('.')));
  for (size_t i = 1; i < title.size(); ++i) {
    title[i] = AsciiLower(title[i]);
  }
  return title;
}

std::string ApplicationErrorText(std::string_view errorKind, std::string_view executablePath,
                                 uintptr_t address, std::string_view message) {
  char hex[17];
  std::snprintf(hex, sizeof hex, "%08llX", static_cast<unsigned long long>(address));
  std::string text = "Exception ";
  text.append(errorKind);
  text.append(" in module ");
  text.append(BaseName(executablePath));
  text.append(" at ");
  text.append(hex);
  text.append(".\r\n");
  text.append(message);
  if (!message.empty() && message.back() != '.') text.append(".");
  text.append("\r\n");
  return text;
}

}  // namespace zq

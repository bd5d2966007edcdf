// Texts of the error report.
#pragma once

#include <string>
#include <string_view>

#include "control/fixed_text.h"

namespace zq {

// Room for the longest message: a binding text of 2047 characters in
// "'%s' is not a valid integer value".
using ReportText = FixedText<2200>;

// The message as the box shows it: "." appended when the message is not
// empty and its last character comes after "." in character-code order.
ReportText MakeReportText(std::string_view message);

// The executable's file name without folder and without everything from its
// first "." on, every character after the first in lower case:
// "C:\\x\\MY.PANEL.EXE" gives "My".
std::string ProgramTitle(std::string_view executablePath);

// Text of the fatal box shown when the main window cannot be made.
std::string ApplicationErrorText(std::string_view errorKind, std::string_view executablePath,
                                 uintptr_t address, std::string_view message);

// Where errors that escape a handler end up (the shell shows them).
class ErrorReport {
 public:
  virtual ~ErrorReport() = default;
  // `text` is final (full stop rule applied); bytes as read from the settings
  // file, single-byte characters.
  virtual void ReportError(std::string_view text) = 0;
};

}  // namespace zq

// zq-check's report for people.
#pragma once

#include <ostream>
#include <string>

#include "zq_check/check_model.h"

namespace zq::check {

// Everything: bindings, polling, curves, start values, then the findings.
void WriteTextReport(const CheckResult& r, std::ostream& out);

// The findings alone, one per line ("FILE:LINE: warning: ..."), and the summary.
void WriteFindings(const CheckResult& r, std::ostream& out);

// "warning", "note", "error".
std::string SeverityName(Severity s);

}  // namespace zq::check

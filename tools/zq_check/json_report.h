// zq-check's report for programs: the same facts as the text, as one JSON object.
#pragma once

#include <ostream>

#include "zq_check/check_model.h"

namespace zq::check {

void WriteJsonReport(const CheckResult& r, std::ostream& out);

}  // namespace zq::check

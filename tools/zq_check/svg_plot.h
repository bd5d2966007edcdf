// The curves of a check as an SVG plot: one panel per curve set, one for
// the trim curves.
#pragma once

#include <ostream>

#include "zq_check/check_model.h"

namespace zq::check {

void WriteCurvesSvg(const CheckResult& r, std::ostream& out);

}  // namespace zq::check

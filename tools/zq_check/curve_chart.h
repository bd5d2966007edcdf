// Curves as text: the table of points and outputs, and a small chart.
#pragma once

#include <string>
#include <vector>

#include "zq_check/check_model.h"

namespace zq::check {

struct ChartLine {
  char mark;  // the letter drawn for this curve
  const Curve* curve;
};

// Output range of the curves over 0..100 % deflection, widened to take in
// 0 and 100 and rounded out to tens.
void ResponseRange(const std::vector<ChartLine>& lines, int32_t& low, int32_t& high);

// The response from 0 to 100 % deflection as lines of text, one mark per
// curve and '*' where marks meet.
std::vector<std::string> ResponseChart(const std::vector<ChartLine>& lines);

// "  Y  line 30   points   0  40 ..." and the outputs below it.
std::vector<std::string> CurveRows(const CurveReport& c, const std::string& name);

// The head of the columns of CurveRows.
std::string CurveTableHead();

}  // namespace zq::check

#include "zq_check/curve_chart.h"

#include <algorithm>
#include <cstdio>

#include "control/curve_math.h"

namespace zq::check {
namespace {

constexpr int kColumns = 41;  // every 2.5 % of deflection
constexpr int kRows = 11;
constexpr size_t kTableLead = 28;  // characters before the first column of numbers

std::string Cell(int32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%5d", static_cast<int>(v));
  return buf;
}

std::string FromText(const CurveReport& c) {
  switch (c.source) {
    case CurveSource::file:
      return "line " + std::to_string(c.line);
    case CurveSource::fallback:
      return "default";
    case CurveSource::copy:
      return "copy of " + std::string(1, c.key[0]);
    case CurveSource::gap:
      return "missing";
    case CurveSource::unloaded:
      return "not loaded";
  }
  return "";
}

}  // namespace

void ResponseRange(const std::vector<ChartLine>& lines, int32_t& low, int32_t& high) {
  low = 0;
  high = 100;
  for (const ChartLine& l : lines) {
    for (int32_t reading = 0; reading <= 1000; reading += 10) {
      int32_t v = EvaluateCurve(reading, *l.curve);
      low = std::min(low, v);
      high = std::max(high, v);
    }
  }
  low = low >= 0 ? 0 : -((-low + 9) / 10) * 10;
  high = (high + 9) / 10 * 10;
}

std::vector<std::string> ResponseChart(const std::vector<ChartLine>& lines) {
  int32_t low = 0, high = 100;
  ResponseRange(lines, low, high);
  std::vector<std::string> grid(kRows, std::string(kColumns, ' '));
  for (const ChartLine& l : lines) {
    for (int c = 0; c < kColumns; ++c) {
      int32_t v = EvaluateCurve(25 * c, *l.curve);
      double position = static_cast<double>(high - v) / (high - low) * (kRows - 1);
      size_t row = static_cast<size_t>(std::clamp(static_cast<int>(position + 0.5), 0, kRows - 1));
      char& cell = grid[row][static_cast<size_t>(c)];
      cell = (cell == ' ' || cell == l.mark) ? l.mark : '*';
    }
  }
  std::vector<std::string> out;
  for (int row = 0; row < kRows; ++row) {
    std::string label = "      ";
    if (row == 0 || row == kRows - 1 || row == (kRows - 1) / 2) {
      int32_t v =
          high - static_cast<int32_t>((static_cast<int64_t>(high - low) * row) / (kRows - 1));
      label = Cell(v) + " ";
    }
    std::string line = "    " + label + "|" + grid[static_cast<size_t>(row)];
    while (!line.empty() && line.back() == ' ') line.pop_back();
    out.push_back(line);
  }
  out.push_back("          +" + std::string(kColumns, '-'));
  std::string scale(kColumns + 13, ' ');
  scale.replace(11, 2, "0%");
  scale.replace(11 + kColumns / 2 - 1, 3, "50%");
  scale.replace(11 + kColumns - 3, 4, "100%");
  out.push_back(scale + "deflection");
  return out;
}

std::string CurveTableHead() {
  std::string head = "    curve  from";
  head.resize(kTableLead, ' ');
  for (int k = 0; k < kCurvePoints; ++k) head += Cell(10 * k).substr(1) + "%";
  return head;
}

std::vector<std::string> CurveRows(const CurveReport& c, const std::string& name) {
  char lead[40];
  std::snprintf(lead, sizeof lead, "    %-6s %-11s", name.c_str(), FromText(c).c_str());
  std::string points = std::string(lead) + "points";
  std::string outputs = std::string(kTableLead - 6, ' ') + "output";
  for (int k = 0; k < kCurvePoints; ++k) {
    points += Cell(c.curve[k]);
    outputs += Cell(c.outputs[static_cast<size_t>(k)]);
  }
  return {points, outputs};
}

}  // namespace zq::check

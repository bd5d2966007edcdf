#include "zq_check/svg_plot.h"

#include <cstdio>
#include <string>
#include <vector>

#include "control/curve_math.h"
#include "zq_check/curve_chart.h"

namespace zq::check {
namespace {

constexpr int kPanelWidth = 330;
constexpr int kPanelHeight = 260;
constexpr int kHeader = 48;
constexpr int kPlotLeft = 52, kPlotTop = 34, kPlotWidth = 250, kPlotHeight = 170;

struct Series {
  const CurveReport* curve;
  const char* label;
  const char* colour;
  const char* dash;  // "" for a solid line
  double width;
};

struct Panel {
  std::string title;
  std::vector<Series> series;
};

std::string Num(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.1f", v);
  return buf;
}

std::string Escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    unsigned char u = static_cast<unsigned char>(c);
    if (c == '&') {
      out += "&amp;";
    } else if (c == '<') {
      out += "&lt;";
    } else if (c == '>') {
      out += "&gt;";
    } else if (c == '"') {
      out += "&quot;";
    } else {
      out += (u < 32 || u >= 127) ? '?' : c;  // the file name may be in any encoding
    }
  }
  return out;
}

int32_t GridStep(int32_t span) {
  for (int32_t step : {10, 20, 25, 50, 100, 200, 250, 500, 1000, 2000, 5000}) {
    if (span / step <= 8) return step;
  }
  return span / 8 + 1;
}

void WritePanel(const Panel& p, int originX, int originY, std::ostream& out) {
  std::vector<ChartLine> lines;
  for (const Series& s : p.series) lines.push_back(ChartLine{s.label[0], &s.curve->curve});
  int32_t low = 0, high = 100;
  ResponseRange(lines, low, high);
  auto x = [&](double percent) { return originX + kPlotLeft + percent / 100.0 * kPlotWidth; };
  auto y = [&](double v) {
    return originY + kPlotTop + (high - v) / static_cast<double>(high - low) * kPlotHeight;
  };
  out << "<g>\n<text x=\"" << originX + kPlotLeft << "\" y=\"" << originY + 20
      << "\" font-weight=\"bold\">" << Escaped(p.title) << "</text>\n";
  out << "<rect x=\"" << x(0) << "\" y=\"" << y(high) << "\" width=\"" << kPlotWidth
      << "\" height=\"" << kPlotHeight << "\" fill=\"#fbfbfd\" stroke=\"#888\"/>\n";
  for (int percent = 10; percent < 100; percent += 10) {
    out << "<line x1=\"" << Num(x(percent)) << "\" y1=\"" << Num(y(high)) << "\" x2=\""
        << Num(x(percent)) << "\" y2=\"" << Num(y(low)) << "\" stroke=\"#e4e4ea\"/>\n";
  }
  int32_t step = GridStep(high - low);
  for (int32_t v = low / step * step; v <= high; v += step) {
    if (v < low) continue;
    out << "<line x1=\"" << Num(x(0)) << "\" y1=\"" << Num(y(v)) << "\" x2=\"" << Num(x(100))
        << "\" y2=\"" << Num(y(v)) << "\" stroke=\"" << (v == 0 ? "#999" : "#e4e4ea") << "\"/>\n";
    out << "<text x=\"" << Num(x(0) - 6) << "\" y=\"" << Num(y(v) + 4) << "\" text-anchor=\"end\">"
        << v << "</text>\n";
  }
  for (int percent : {0, 50, 100}) {
    out << "<text x=\"" << Num(x(percent)) << "\" y=\"" << Num(y(low) + 16)
        << "\" text-anchor=\"middle\">" << percent << "%</text>\n";
  }
  out << "<line x1=\"" << Num(x(0)) << "\" y1=\"" << Num(y(0)) << "\" x2=\"" << Num(x(100))
      << "\" y2=\"" << Num(y(100)) << "\" stroke=\"#aaa\" stroke-dasharray=\"3 3\"/>\n";
  double legendX = x(0);
  for (const Series& s : p.series) {
    std::string dash = *s.dash ? std::string(" stroke-dasharray=\"") + s.dash + "\"" : "";
    out << "<path fill=\"none\" stroke=\"" << s.colour << "\" stroke-width=\"" << s.width << "\""
        << dash << " d=\"";
    // between its points a curve is a straight line: the point values suffice
    PointValues values = ComputePointValues(s.curve->curve);
    for (int k = 0; k < kCurvePoints; ++k) {
      out << (k ? " L" : "M") << Num(x(10 * k)) << ',' << Num(y(values[static_cast<size_t>(k)]));
    }
    out << "\"/>\n";
    for (int k = 0; k < kCurvePoints; ++k) {
      out << "<circle cx=\"" << Num(x(10 * k)) << "\" cy=\""
          << Num(y(s.curve->outputs[static_cast<size_t>(k)])) << "\" r=\"2.5\" fill=\"" << s.colour
          << "\"/>\n";
    }
    double ly = y(low) + 34;
    out << "<line x1=\"" << Num(legendX) << "\" y1=\"" << Num(ly - 4) << "\" x2=\""
        << Num(legendX + 22) << "\" y2=\"" << Num(ly - 4) << "\" stroke=\"" << s.colour
        << "\" stroke-width=\"" << s.width << "\"" << dash << "/>\n";
    out << "<text x=\"" << Num(legendX + 26) << "\" y=\"" << Num(ly) << "\">" << Escaped(s.label)
        << "</text>\n";
    legendX += 84;
  }
  out << "</g>\n";
}

std::vector<Panel> MakePanels(const CheckResult& r) {
  std::vector<Panel> panels;
  for (size_t k = 0; k < r.curveSets.size(); ++k) {
    const CurveSetReport& set = r.curveSets[k];
    panels.push_back(Panel{"Curve set " + std::to_string(k),
                           {{&set.y, "Y pitch", "#1f5fbf", "", 3},
                            {&set.x, "X roll", "#d0402a", "8 4", 2},
                            {&set.z, "Z yaw", "#2a9d3a", "2 3", 2}}});
  }
  std::string title = r.loadError ? "Trim curves (not loaded: all 0)" : "Trim curves";
  panels.push_back(Panel{title,
                         {{&r.trimCurves[0], "TrimY", "#1f5fbf", "", 3},
                          {&r.trimCurves[1], "TrimX", "#d0402a", "8 4", 2},
                          {&r.trimCurves[2], "TrimZ", "#2a9d3a", "2 3", 2}}});
  return panels;
}

}  // namespace

void WriteCurvesSvg(const CheckResult& r, std::ostream& out) {
  std::vector<Panel> panels = MakePanels(r);
  int columns = panels.size() < 3 ? static_cast<int>(panels.size()) : 3;
  int rows = (static_cast<int>(panels.size()) + columns - 1) / columns;
  int width = columns * kPanelWidth + 20;
  int height = kHeader + rows * kPanelHeight;
  out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << width << "\" height=\"" << height
      << "\" viewBox=\"0 0 " << width << ' ' << height
      << "\" font-family=\"sans-serif\" font-size=\"12\">\n"
      << "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n"
      << "<text x=\"16\" y=\"20\" font-size=\"14\">Response curves of " << Escaped(r.path)
      << "</text>\n"
      << "<text x=\"16\" y=\"38\" font-size=\"11\" fill=\"#555\">Output in hundredths against "
         "stick deflection; the other half mirrors it. Dashed grey: the straight line.</text>\n";
  for (size_t i = 0; i < panels.size(); ++i) {
    int col = static_cast<int>(i) % columns;
    int row = static_cast<int>(i) / columns;
    WritePanel(panels[i], 10 + col * kPanelWidth, kHeader + row * kPanelHeight, out);
  }
  out << "</svg>\n";
}

}  // namespace zq::check

#include "zq_check/text_report.h"

#include <algorithm>
#include <cstdio>

#include "config/ascii.h"
#include "zq_check/binding_words.h"
#include "zq_check/check_steps.h"
#include "zq_check/curve_chart.h"

namespace zq::check {
namespace {

std::string From(const SlotReport& slot) {
  switch (slot.source) {
    case ValueSource::file:
    case ValueSource::empty:
    case ValueSource::failed:
      return "line " + std::to_string(slot.line);
    case ValueSource::fallback:
      return "default";
    case ValueSource::unloaded:
      return "not loaded";
  }
  return "";
}

std::string ValueColumn(const SlotReport& slot) {
  if (slot.source == ValueSource::unloaded) return "-";
  std::string v = "'" + Shown(slot.text) + "'";
  return v.size() > 14 ? v.substr(0, 11) + "...'" : v;
}

void WriteBindings(const CheckResult& r, std::ostream& out) {
  out << "Bindings (section [main])\n";
  char line[96];
  std::snprintf(line, sizeof line, "  %4s  %-10s  %-14s  %-11s  %s\n", "slot", "key", "value",
                "from", "binding");
  out << line;
  for (int s = 0; s < kSlotCount; ++s) {
    const SlotReport& slot = r.slots[static_cast<size_t>(s)];
    std::snprintf(line, sizeof line, "  %4d  %-10s  %-14s  %-11s  ", s,
                  std::string(kSlotTable[static_cast<size_t>(s)].key).c_str(),
                  ValueColumn(slot).c_str(), From(slot).c_str());
    out << line << slot.words << '\n';
  }
  out << "\nWatched keys:";
  bool first = true;
  r.settings.watchedKeys.ForEach([&](int vk) {
    std::string name = vk == 0 ? "(no key)" : VirtualKeyName(vk);
    out << (first ? " " : ", ") << vk << (name.empty() ? "" : " " + name);
    first = false;
  });
  out << "\nPolled joysticks:";
  first = true;
  for (int id = 0; id < kJoystickCount; ++id) {
    if (!r.settings.joyUsed.Contains(id)) continue;
    out << (first ? " " : ", ") << id;
    first = false;
  }
  out << (first ? " none\n" : "\n");
}

struct NamedCurve {
  const CurveReport* curve;
  std::string name;
  char mark;
};

void WriteCurveBlock(const std::vector<NamedCurve>& curves, const std::string& legend,
                     std::ostream& out) {
  out << CurveTableHead() << '\n';
  std::vector<ChartLine> lines;
  for (const NamedCurve& c : curves) {
    for (const std::string& row : CurveRows(*c.curve, c.name)) out << row << '\n';
    lines.push_back(ChartLine{c.mark, &c.curve->curve});
  }
  out << '\n';
  for (const std::string& row : ResponseChart(lines)) out << row << '\n';
  out << "           " << legend << "; * where they meet\n";
}

void WriteCurves(const CheckResult& r, std::ostream& out) {
  if (r.loadError) {
    out << "\nCurves: none loaded (the load ends at "
        << kSlotTable[static_cast<size_t>(r.loadError->slot)].key
        << "): every axis and trim axis gives 0\n";
    return;
  }
  size_t count = r.curveSets.size();
  out << "\nCurve sets: " << count;
  out << (count == 1 ? " (set 0 only: no Y1..Y9 key)\n"
                     : " (0 to " + std::to_string(count - 1) +
                           "; set 0 at start, curveup and curvedown switch)\n");
  out << "Points are gains in percent at 0, 10 .. 100 % deflection; output is what the\n"
         "axis sends there, in hundredths (100 = full). The other half mirrors it.\n";
  for (size_t k = 0; k < count; ++k) {
    const CurveSetReport& set = r.curveSets[k];
    out << "\nCurve set " << k << '\n';
    WriteCurveBlock({{&set.y, "Y", 'Y'}, {&set.x, "X", 'X'}, {&set.z, "Z", 'Z'}},
                    "Y pitch, X roll, Z yaw", out);
  }
  out << "\nTrim curves (the same in every curve set)\n";
  WriteCurveBlock({{&r.trimCurves[0], "TrimY", 'y'},
                   {&r.trimCurves[1], "TrimX", 'x'},
                   {&r.trimCurves[2], "TrimZ", 'z'}},
                  "y TrimY, x TrimX, z TrimZ", out);
}

void WriteStartValues(const CheckResult& r, std::ostream& out) {
  out << "\nWindow and start values\n";
  if (r.loadError) {
    out << "  not read (the load ends early): the window keeps its design place;\n"
           "  starttrim and startflaps stay 0\n";
    return;
  }
  const LoadedSettings& s = r.settings;
  out << "  WindowX " << s.windowX
      << (s.windowX == -1 ? ": the window touches the right edge of the screen\n"
                          : ": the window's left edge, in pixels\n");
  out << "  WindowY " << s.windowY
      << (s.windowY == -1 ? ": the window's top at the screen height / 1.6 (" +
                                std::to_string(PlaceWindow(-1, -1, r.options.screen).top) + " of " +
                                std::to_string(r.options.screen.height) + ")\n"
                          : std::string(": the window's top edge, in pixels\n"));
  out << "  starttrim " << s.startTrim << ", startflaps " << s.startFlaps
      << ": what the power action restores (nothing uses them at start)\n";
}

std::string Summary(const CheckResult& r) {
  int warnings = r.Count(Severity::warning);
  int notes = r.Count(Severity::note);
  std::string counts = std::to_string(warnings) + (warnings == 1 ? " warning, " : " warnings, ") +
                       std::to_string(notes) + (notes == 1 ? " note" : " notes");
  switch (r.ExitStatus()) {
    case 0:
      return counts + (r.found ? ": the panel loads this file as shown."
                               : ": the panel runs on these defaults.");
    case 1:
      return counts + (r.found ? ": the panel loads this file without an error box, as shown."
                               : ": the panel runs on these defaults.");
    default:
      return counts + (r.found ? ": the panel shows an error box while it loads this file."
                               : ": there is no such file.");
  }
}

}  // namespace

std::string SeverityName(Severity s) {
  switch (s) {
    case Severity::note:
      return "note";
    case Severity::warning:
      return "warning";
    case Severity::error:
      return "error";
  }
  return "";
}

void WriteFindings(const CheckResult& r, std::ostream& out) {
  for (const Diagnostic& d : r.diagnostics) {
    out << r.path;
    if (d.line != 0) out << ':' << d.line;
    // the error box text is quoted whole: keep its control bytes off the terminal
    out << ": " << SeverityName(d.severity) << ": " << TerminalText(d.message) << '\n';
  }
  out << Summary(r) << '\n';
}

void WriteTextReport(const CheckResult& r, std::ostream& out) {
  // a mistyped name: said first and alone, not after pages of defaults
  if (std::any_of(r.diagnostics.begin(), r.diagnostics.end(), [](const Diagnostic& d) {
        return d.kind == "no-file" && d.severity == Severity::error;
      })) {
    WriteFindings(r, out);
    return;
  }
  out << "zq-check: " << r.path << (r.found ? "" : " (" + r.unreadable + ")") << "\n\n";
  WriteBindings(r, out);
  WriteCurves(r, out);
  WriteStartValues(r, out);
  out << "\nFindings\n";
  WriteFindings(r, out);
}

}  // namespace zq::check

// Curve texts that stop early, outputs the panel cannot use, gaps in Y1..Y9,
// curve keys never read.
#include <cstdlib>
#include <vector>

#include "config/flight_axes.h"
#include "control/curve_math.h"
#include "zq_check/check_steps.h"
#include "zq_check/key_suggest.h"

namespace zq::check {
namespace {

std::string Points(const Curve& c) {
  std::string text;
  for (int k = 0; k < kCurvePoints; ++k) text += (k ? " " : "") + std::to_string(c[k]);
  return text;
}

// "pitch (Y) in curve set 2", "the roll trim axis".
std::string WhatItShapes(const std::string& key) {
  bool trim = key.rfind("Trim", 0) == 0;
  const FlightAxis* axis = FlightAxisOf(key.size() > 4 && trim ? key[4] : key[0]);
  std::string word(axis != nullptr ? axis->word : "");
  if (trim) return "the " + word + " trim axis";
  std::string set = key.size() > 1 ? key.substr(1) : "0";
  return word + " in curve set " + set;
}

// A complete curve text: ten points, or a first point above 0 before rising
// ones, most likely lost its leading 0 and stands one step early throughout.
void CheckCurveShape(const CurveReport& c, std::string_view text, const Curve& curve,
                     CheckResult& r) {
  int given = 1;
  for (char ch : text) given += ch == ' ' ? 1 : 0;
  bool rising = given >= 3 && curve[given - 1] > curve[1];
  for (int k = 2; k < given && rising; ++k) rising = curve[k] >= curve[k - 1];
  std::string message = c.key + " = '" + Shown(text) + "': ";
  if (given == kCurvePoints - 1) {
    message +=
        "ten points, where a curve has eleven (0, 10 .. 100 % deflection): if the leading "
        "0 is missing, every point stands one step early and the last one is used again "
        "at full deflection; write all eleven points";
    Add(r, Severity::warning, "curve-ten-points", c.line, c.key, message);
  } else if (curve[0] != 0 && rising) {
    message += "the first point, at the centre, is " + std::to_string(curve[0]) +
               " while the points after it rise: a curve starts at 0, and without its leading 0 "
               "every point stands one step early; start it with 0";
    Add(r, Severity::warning, "curve-first-point", c.line, c.key, message);
  }
}

// "50 % deflection (reading 500)".
std::string Deflection(int32_t reading) {
  return std::to_string(reading / 10) + " % deflection (reading " + std::to_string(reading) + ")";
}

// Full deflection is 100 on the control scale: a curve's output beyond it is
// sent as it is, and a trim axis beyond it turns the trim mix around.
void CheckPastFull(const CurveReport& c, std::string_view text, const CurveTable& table,
                   CheckResult& r) {
  std::vector<int> beyond;
  int worst = 0;
  for (int k = 1; k < kCurvePoints; ++k) {
    int32_t out = table[static_cast<size_t>(100 * k)];
    if (std::abs(out) <= 100) continue;
    beyond.push_back(k);
    if (worst == 0 || std::abs(out) > std::abs(table[static_cast<size_t>(100 * worst)])) worst = k;
  }
  if (worst == 0) return;
  int32_t limit = 1000 / worst;
  std::string message = c.key + " = '" + Shown(text) + "': the panel sends " +
                        std::to_string(table[static_cast<size_t>(100 * worst)]) + " at " +
                        Deflection(100 * worst) +
                        ", past full deflection (-100 to 100), made by point " +
                        std::to_string(worst) + "'s gain of " + std::to_string(c.curve[worst]) +
                        " % at " + std::to_string(10 * worst) + " % deflection";
  if (beyond.size() > 1) {
    message += " (points ";
    for (size_t i = 0; i < beyond.size(); ++i) {
      message +=
          (i == 0 ? "" : (i + 1 == beyond.size() ? " and " : ", ")) + std::to_string(beyond[i]);
    }
    message += " go past it)";
  }
  message += "; point " + std::to_string(worst) +
             " stays within full deflection with a gain from " + std::to_string(-limit) + " to " +
             std::to_string(limit);
  Add(r, Severity::warning, "curve-past-full", c.line, c.key, message);
}

// The output must keep one direction from the centre out (rising, or falling
// for an inverted curve); flat stretches such as a dead zone are fine. The
// response is straight between points, so it turns only at a point.
void CheckTurnsBack(const CurveReport& c, std::string_view text, const CurveTable& table,
                    CheckResult& r) {
  auto at = [&table](int k) { return table[static_cast<size_t>(100 * k)]; };
  auto sign = [](int32_t v) { return v > 0 ? 1 : (v < 0 ? -1 : 0); };
  int dir = 0;
  int turn = 0;
  for (int k = 1; k < kCurvePoints; ++k) {
    int s = sign(at(k) - at(k - 1));
    if (s == 0) continue;
    if (dir == 0 || s == dir) {
      dir = s;
      turn = k;
      continue;
    }
    int end = k;  // where the way back ends
    for (int n = k + 1; n < kCurvePoints && sign(at(n) - at(n - 1)) != dir; ++n) {
      if (at(n) != at(n - 1)) end = n;
    }
    Add(r, Severity::warning, "curve-turns-back", c.line, c.key,
        c.key + " = '" + Shown(text) + "': the output turns back: it " +
            (dir > 0 ? "rises" : "falls") + " to " + std::to_string(at(turn)) + " at " +
            Deflection(100 * turn) + ", then " + (dir > 0 ? "falls" : "rises") + " to " +
            std::to_string(at(end)) + " at " + Deflection(100 * end) +
            ", so pushing the stick further moves the control back; make each point's output "
            "(gain times deflection) keep going the same way");
    return;
  }
}

void CheckCurveText(const ProfileText& profile, const CurveReport& c, CheckResult& r) {
  if (c.source != CurveSource::file) return;
  std::string value = ReadTextFrom(profile, "main", c.key, "0 100");
  std::string_view text = StripControls(value);
  Curve curve;
  CurveParseEnd end = ParseCurve(text, curve);
  if (end.badPoint < kCurvePoints) {
    std::string message = c.key + " = '" + Shown(text) + "': ";
    if (text.empty()) {
      message += "an empty curve";
    } else if (end.badToken.empty()) {
      message += "two blanks in a row leave an empty point " + std::to_string(end.badPoint);
    } else {
      message += "point " + std::to_string(end.badPoint) + ", '" + Shown(end.badToken) +
                 "', is not a whole number";
    }
    message += end.badPoint == 0
                   ? ", so every point is 0 and " + WhatItShapes(c.key) + " gives 0 throughout"
                   : ", so the curve stops there and points " + std::to_string(end.badPoint) +
                         " to 10 are 0: " + Points(curve);
    Add(r, Severity::warning, "curve-stops-early", c.line, c.key, message);
  }
  if (end.badPoint == kCurvePoints && end.ignored.empty()) CheckCurveShape(c, text, curve, r);
  if (end.badPoint == kCurvePoints) {
    // What the panel sends for every reading: only a complete text; one that
    // stops early is explained above.
    CurveTable table = ComputeCurveTable(curve);
    CheckPastFull(c, text, table, r);
    CheckTurnsBack(c, text, table, r);
  }
  if (!end.ignored.empty()) {
    Add(r, Severity::note, "curve-extra-numbers", c.line, c.key,
        c.key + ": a curve has eleven points; '" + Shown(end.ignored) + "' after them is ignored");
  }
}

std::string SetKeys(char axis, int count) {
  if (count <= 1) return "none";
  std::string first(1, axis);
  return count == 2 ? first + "1" : first + "1 to " + first + std::to_string(count - 1);
}

void CheckNeverRead(const ProfileText& profile, CheckResult& r) {
  const ProfileText::Section* main = profile.FindSection("main");
  if (main == nullptr) return;
  int count = r.bank.curveCount;
  for (const ProfileText::Entry& e : main->entries) {
    if (!e.hasValue || !LooksLikeCurveSetKey(e.name) || LineOf(profile, e.name) != e.line) continue;
    char axis = e.name[0] >= 'a' ? static_cast<char>(e.name[0] - 'a' + 'A') : e.name[0];
    if (!IsKnownSettingKey(e.name)) {
      std::string hint = e.name.size() == 2 && e.name[1] == '0'
                             ? "curve set 0 takes the key " + std::string(1, axis)
                             : "curve sets are numbered 1 to 9, without leading zeros";
      Add(r, Severity::warning, "curve-key-never-read", e.line, e.name,
          Shown(e.name) + " is never read: " + hint);
      continue;
    }
    int k = e.name[1] - '0';
    if (axis == 'Y' || k < count) continue;
    Add(r, Severity::warning, "curve-key-never-read", e.line, e.name,
        Shown(e.name) + " is never read: the Y keys present make " + std::to_string(count) +
            " curve set" + (count == 1 ? "" : "s") + ", so the panel reads " +
            (count == 1 ? std::string("no numbered ") + axis + " key"
                        : SetKeys(axis, count) + " only") +
            "; add Y" + std::to_string(k) + " (and the keys below it) to make set " +
            std::to_string(k) + " selectable");
  }
}

void CheckGaps(const ProfileText& profile, CheckResult& r) {
  int count = r.bank.curveCount;
  for (int k = 1; k < count; ++k) {
    std::string key = "Y" + std::to_string(k);
    if (HasKeyIn(profile, "main", key)) continue;
    int j = k + 1;
    while (j < kCurveSets && !HasKeyIn(profile, "main", "Y" + std::to_string(j))) ++j;
    std::string next = "Y" + std::to_string(j);
    std::string message = key + " is missing while " + next +
                          " is there: the panel counts one curve set per Y key present (" +
                          std::to_string(count) + " here, sets 0 to " + std::to_string(count - 1) +
                          "), so set " + std::to_string(k) +
                          " can be selected but its Y curve is all 0 (pitch gives 0 in it)";
    if (j >= count) {
      message += ", and " + next + " loads set " + std::to_string(j) +
                 ", which can never be selected; number the Y keys from Y1 without gaps";
    }
    Add(r, Severity::warning, "curve-set-gap", LineOf(profile, next), next, message);
  }
}

}  // namespace

void CheckCurves(const ProfileText& profile, CheckResult& r) {
  if (r.loadError) return;  // the curves are never loaded; the error says so
  for (const CurveSetReport& set : r.curveSets) {
    CheckCurveText(profile, set.y, r);
    CheckCurveText(profile, set.x, r);
    CheckCurveText(profile, set.z, r);
  }
  for (const CurveReport& trim : r.trimCurves) CheckCurveText(profile, trim, r);
  CheckNeverRead(profile, r);
  CheckGaps(profile, r);
}

}  // namespace zq::check

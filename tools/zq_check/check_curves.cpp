// Curve texts that stop early, gaps in Y1..Y9, curve keys never read.
#include "config/flight_axes.h"
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

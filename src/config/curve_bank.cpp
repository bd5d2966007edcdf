#include "config/curve_bank.h"

#include <string>

#include "config/integer_syntax.h"
#include "config/settings_file.h"

namespace zq {
namespace {

constexpr std::string_view kStraight = "0 100";

void LoadCurveKey(const SettingsLookup& settings, std::string_view key, Curve& curve) {
  ParseCurve(StripControls(settings.ReadText("main", key, kStraight)), curve);
}

// Curve sets 1..count-1 of the X or Z axis: their own key when present,
// otherwise a copy of set 0.
void LoadFollowingSets(const SettingsLookup& settings, char axis, std::array<Curve, 10>& curves,
                       int32_t count) {
  for (int k = 1; k < count && k < kCurveSets; ++k) {
    std::string key = CurveKey(axis, k);
    if (settings.HasKey("main", key)) {
      LoadCurveKey(settings, key, curves[static_cast<size_t>(k)]);
    } else {
      curves[static_cast<size_t>(k)] = curves[0];
    }
  }
}

}  // namespace

std::string CurveKey(char axis, int set) {
  return set == 0 ? std::string(1, axis) : std::string(1, axis) + std::to_string(set);
}

std::string_view StripControls(std::string_view text) {
  while (!text.empty() && static_cast<unsigned char>(text.front()) <= 32) text.remove_prefix(1);
  while (!text.empty() && static_cast<unsigned char>(text.back()) <= 32) text.remove_suffix(1);
  return text;
}

CurveParseEnd ParseCurve(std::string_view text, Curve& curve) {
  std::string_view rest = text;
  bool lastReused = false;
  for (int k = 0; k < kCurvePoints; ++k) {
    size_t blank = rest.find(' ');
    std::string_view token = blank == std::string_view::npos ? rest : rest.substr(0, blank);
    std::optional<int32_t> value = ParseSettingsInt(token);
    if (!value) return CurveParseEnd{k, token, {}};
    curve.slot[static_cast<size_t>(k)] = *value;
    lastReused = blank == std::string_view::npos;
    if (!lastReused) rest = rest.substr(blank + 1);
  }
  return CurveParseEnd{kCurvePoints, {}, lastReused ? std::string_view{} : rest};
}

void LoadCurves(const SettingsLookup& settings, CurveBank& bank) {
  LoadCurveKey(settings, "Y", bank.curvesY[0]);
  bank.curveCount = 1;
  for (int k = 1; k < kCurveSets; ++k) {
    std::string key = CurveKey('Y', k);
    if (settings.HasKey("main", key)) {
      LoadCurveKey(settings, key, bank.curvesY[static_cast<size_t>(k)]);
      ++bank.curveCount;
    }
  }
  LoadCurveKey(settings, "TrimY", bank.curveTrimY);
  LoadCurveKey(settings, "TrimX", bank.curveTrimX);
  LoadCurveKey(settings, "TrimZ", bank.curveTrimZ);
  LoadCurveKey(settings, "X", bank.curvesX[0]);
  LoadFollowingSets(settings, 'X', bank.curvesX, bank.curveCount);
  LoadCurveKey(settings, "Z", bank.curvesZ[0]);
  LoadFollowingSets(settings, 'Z', bank.curvesZ, bank.curveCount);
}

}  // namespace zq

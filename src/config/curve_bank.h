// Response curves as read from the settings file.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace zq {

class SettingsLookup;

constexpr int kCurvePoints = 11;
constexpr int kCurveSets = 10;

// Eleven points (gain in percent at 0, 10, ... 100 % deflection) kept in a
// slot of twelve integers whose twelfth is never set from the file.
struct Curve {
  std::array<int32_t, 12> slot{};
  int32_t operator[](int k) const { return slot[static_cast<size_t>(k)]; }
};

struct CurveBank {
  std::array<Curve, kCurveSets> curvesY{};
  std::array<Curve, kCurveSets> curvesX{};
  std::array<Curve, kCurveSets> curvesZ{};
  Curve curveTrimY{};
  Curve curveTrimX{};
  Curve curveTrimZ{};
  int32_t curveIndex = 0;  // the selected curve set
  int32_t curveCount = 0;  // 1..10 after a complete load, 0 when it stopped early
};

// Where ParseCurve ended: the point whose token was not a valid integer
// (kCurvePoints when all eleven were set) with that token, and the text left
// unread after the eleventh number. The panel ignores both; zq-check
// explains them.
struct CurveParseEnd {
  int badPoint = kCurvePoints;
  std::string_view badToken;
  std::string_view ignored;
};

// Points from a blank-separated list of integers. Stops silently at the first
// token that is not a valid integer; the last number is used again for every
// remaining point; numbers beyond the eleventh are ignored.
CurveParseEnd ParseCurve(std::string_view text, Curve& curve);

// Removes every character with a code from 0 to 32 from both ends.
std::string_view StripControls(std::string_view text);

// The key of curve set `set` of an axis ('Y', 'X', 'Z'): "Y" for set 0,
// "Y1".."Y9" after it.
std::string CurveKey(char axis, int set);

// The trim curves' keys, Y, X and Z.
constexpr std::array<std::string_view, 3> kTrimCurveKeys = {"TrimY", "TrimX", "TrimZ"};

// Fills the curve bank and curveCount from section "main".
void LoadCurves(const SettingsLookup& settings, CurveBank& bank);

}  // namespace zq

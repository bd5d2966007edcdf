// ParseCurve on any text, checked against a plain token list; then the curve
// it made through every evaluation the panel does (point values, the fast
// path against the exact one, the lookup table, the paint box's columns).
#include <string>
#include <string_view>
#include <vector>

#include "app/paint_box.h"
#include "config/curve_bank.h"
#include "config/integer_syntax.h"
#include "control/curve_math.h"
#include "kit/fakes.h"

namespace {

// The text cut at every blank: point k reads piece k, and the last piece
// again once the pieces run out.
std::vector<std::string_view> Pieces(std::string_view text) {
  std::vector<std::string_view> pieces;
  size_t start = 0;
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || text[i] == ' ') {
      pieces.push_back(text.substr(start, i - start));
      start = i + 1;
    }
  }
  return pieces;
}

void CheckEvaluation(const zq::Curve& curve, zq::test::Mixer& mix) {
  zq::PointValues values = zq::ComputePointValues(curve);
  ZQ_KIT_CHECK(values[0] == 0);
  zq::CurveTable table = zq::ComputeCurveTable(curve);
  ZQ_KIT_CHECK(table[0] == 0);

  std::vector<int32_t> readings = {0, 1, 5, 6, 15, 25, 95, 100, 105, 450, 550, 995, 999, 1000};
  for (int j = 0; j <= 10; ++j) {
    for (int d = -6; d <= 6; ++d) readings.push_back(100 * j + d);
  }
  for (int i = 0; i < 24; ++i) readings.push_back(static_cast<int32_t>(mix.Below(1001)));
  for (int32_t m : readings) {
    if (m < 0 || m > 1000) continue;
    int32_t fast = zq::EvaluateCurve(m, values);
    ZQ_KIT_CHECK(fast == zq::EvaluateCurveExact(m, values));
    ZQ_KIT_CHECK(zq::EvaluateCurve(-m, values) == -fast);
    ZQ_KIT_CHECK(table[static_cast<size_t>(m)] == fast);
    ZQ_KIT_CHECK(zq::LookUpCurve(-m, table) == -fast);
  }
  // readings beyond the scale are confined first (words 6..10 can give them)
  for (int32_t r : {1001, 5000, 2147483647, -1001, -2147483647 - 1}) {
    int32_t edge = r > 0 ? table[1000] : -table[1000];
    ZQ_KIT_CHECK(zq::LookUpCurve(r, table) == edge);
    ZQ_KIT_CHECK(zq::EvaluateCurve(r, values) == edge);
  }
  // without overflow, full deflection gives point 10 exactly
  if (curve[10] >= -21474836 && curve[10] <= 21474836) ZQ_KIT_CHECK(table[1000] == curve[10]);

  zq::CurveBank bank;
  bank.curvesY[0] = curve;
  bank.curveCount = 1;
  for (int32_t h : zq::ComputePaintColumns(bank)) {
    zq::PaintRows rows = zq::PaintColumnRows(h);
    if (rows.first <= rows.last) ZQ_KIT_CHECK(rows.first >= 0 && rows.last <= 16);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  constexpr int32_t kUntouched = 0x5A5A5A5A;
  zq::Curve curve;
  for (int32_t& p : curve.slot) p = kUntouched;
  zq::ParseCurve(text, curve);

  std::vector<std::string_view> pieces = Pieces(text);
  bool stopped = false;
  for (size_t k = 0; k < zq::kCurvePoints; ++k) {
    std::string_view token = pieces[k < pieces.size() ? k : pieces.size() - 1];
    std::optional<int32_t> v = zq::ParseSettingsInt(token);
    stopped = stopped || !v;
    ZQ_KIT_CHECK(curve.slot[k] == (stopped ? kUntouched : *v));
  }
  ZQ_KIT_CHECK(curve.slot[11] == kUntouched);

  // As the load keeps it: points a text does not reach are 0.
  zq::Curve loaded;
  zq::ParseCurve(zq::StripControls(text), loaded);
  ZQ_KIT_CHECK(loaded.slot[11] == 0);
  zq::test::Mixer mix(zq::test::HashBytes(text));
  CheckEvaluation(loaded, mix);
  return 0;
}

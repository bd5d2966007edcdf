#include "app/paint_box.h"

#include "app/form_design.h"

namespace zq {

PaintColumns ComputePaintColumns(const CurveBank& bank) {
  int32_t index = bank.curveIndex >= 0 && bank.curveIndex < kCurveSets ? bank.curveIndex : 0;
  const Curve& y = bank.curvesY[static_cast<size_t>(index)];
  PaintColumns columns{};
  for (int i = 1; i <= 20; ++i) columns[static_cast<size_t>(i - 1)] = y[i / 2] / 10;
  return columns;
}

PaintRows PaintColumnRows(int32_t h) {
  constexpr int kBase = 10, kLastRow = kPaintBox.height - 1;
  PaintRows rows;
  if (h > 0) {
    int64_t top = int64_t{kBase} - h + 1;
    rows.first = top < 0 ? 0 : static_cast<int>(top);
    rows.last = kBase;
  } else if (h < 0) {
    int64_t bottom = int64_t{kBase} - h - 1;
    rows.first = kBase;
    rows.last = bottom > kLastRow ? kLastRow : static_cast<int>(bottom);
  }
  return rows;
}

}  // namespace zq

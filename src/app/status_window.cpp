#include "app/status_window.h"

#include "app/form_design.h"

namespace zq {

Placement DesignPlacement() {
  return {kDesignLeft, kDesignTop, kDesignWidth, kDesignHeight};
}

Placement PlaceWindow(int32_t windowX, int32_t windowY, ScreenSize screen) {
  Placement p;
  p.width = kPanelWidth;
  p.height = kDesignHeight;
  if (windowY == -1) {
    // height / 1.6 is 5 * height / 8, rounded to nearest with ties to even
    int64_t n = int64_t{5} * screen.height;
    int64_t q = n / 8, rem = n % 8;
    if (rem < 0) {
      rem += 8;
      --q;
    }
    if (rem > 4 || (rem == 4 && (q & 1))) ++q;
    p.top = static_cast<int32_t>(q);
  } else {
    p.top = windowY;
  }
  p.left = windowX == -1 ? static_cast<int32_t>(int64_t{screen.width} - kPanelWidth) : windowX;
  return p;
}

PreviewColumns ComputePreview(const CurveBank& bank) {
  int32_t index = bank.curveIndex >= 0 && bank.curveIndex < kCurveSets ? bank.curveIndex : 0;
  const Curve& y = bank.curvesY[static_cast<size_t>(index)];
  PreviewColumns columns{};
  for (int i = 1; i <= 20; ++i) columns[static_cast<size_t>(i - 1)] = y[i / 2] / 10;
  return columns;
}

PreviewRows PreviewColumnRows(int32_t h) {
  constexpr int kBase = 10, kLastRow = kPaintBox.height - 1;
  PreviewRows rows;
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

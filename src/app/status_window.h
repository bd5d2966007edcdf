// Placement of the panel and the curve preview in P.
#pragma once

#include <array>
#include <cstdint>

#include "app/window_view.h"
#include "config/curve_bank.h"

namespace zq {

struct ScreenSize {
  int32_t width = 0, height = 0;
};

// The design's place and size, kept when the settings load ends early.
Placement DesignPlacement();

// Width 42; -1 for either coordinate puts the panel at the right edge of the
// screen and at screen height / 1.6 (nearest, ties to even).
Placement PlaceWindow(int32_t windowX, int32_t windowY, ScreenSize screen);

// h of columns 1..20 of the preview: the stored Y point i div 2 of the
// selected set, div 10.
using PreviewColumns = std::array<int32_t, 20>;
PreviewColumns ComputePreview(const CurveBank& bank);

// Rows of P that column with height h lights, confined to P (rows 0..16):
// h > 0 lights 10 down to 10 - h + 1, h < 0 lights 10 to 10 - h - 1.
// Empty when first > last.
struct PreviewRows {
  int first = 0, last = -1;
};
PreviewRows PreviewColumnRows(int32_t h);

}  // namespace zq

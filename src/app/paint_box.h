// What PPaint draws in the paint box P: the selected set's Y curve as a
// line of lit rows in each of P's columns.
#pragma once

#include <array>
#include <cstdint>

#include "config/curve_bank.h"

namespace zq {

// h of columns 1..20 of P: the stored Y point i div 2 of the selected set,
// div 10.
using PaintColumns = std::array<int32_t, 20>;
PaintColumns ComputePaintColumns(const CurveBank& bank);

// Rows of P that column with height h lights, confined to P (rows 0..16):
// h > 0 lights 10 down to 10 - h + 1, h < 0 lights 10 to 10 - h - 1.
// Empty when first > last.
struct PaintRows {
  int first = 0, last = -1;
};
PaintRows PaintColumnRows(int32_t h);

}  // namespace zq

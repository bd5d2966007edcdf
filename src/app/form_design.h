// The design of the main window: what the platforms build before the first
// tick. Positions are window pixels; the components lie on a 104 x 77 area.
#pragma once

#include <array>
#include <string_view>

#include "control/status_view.h"

namespace zq {

constexpr std::string_view kWindowTitle = "ZQ - Thrust";
// The single-instance guard's name: a mutex on Windows, the stem of an
// abstract socket name on Linux.
constexpr std::string_view kInstanceName = "ZQ-test-joy";
constexpr int kDesignLeft = 880, kDesignTop = 592, kDesignWidth = 104, kDesignHeight = 77;
constexpr int kPanelWidth = 42;
constexpr int kFontPoints = 8;
constexpr int kLabelHeight = 13;

struct LabelDesign {
  Label label;
  int left, top;
  Rgb color;
  std::string_view text;  // UTF-8
};

// In creation order. P, the paint box the selected Y curve is drawn in, is created
// between xp and xyp and stands in kPaintBox.
constexpr std::array<LabelDesign, 10> kLabelDesign = {{
    {Label::f, 0, 0, kBlue, "убраны"},  // "retracted": flaps up
    {Label::yp, 0, 16, kWhite, "0"},
    {Label::xp, 0, 52, kWhite, "0"},
    {Label::xyp, 0, 28, kWhite, "0"},
    {Label::zyp, 0, 40, kWhite, "0"},
    {Label::ty, 20, 16, kYellow, "0"},
    {Label::tx, 20, 28, kYellow, "0"},
    {Label::tz, 20, 40, kYellow, "0"},
    {Label::Label1, 0, 64, kWhite, "0"},
    {Label::Label2, 20, 64, kWhite, "0"},
}};

// P: the paint box where the selected Y curve is drawn (PPaint). It lies
// across the window's right edge, so only its left part shows.
struct PaintBoxDesign {
  int left, top, width, height;
};
constexpr PaintBoxDesign kPaintBox{19, 52, 33, 17};
// P is created after f, yp and xp: those first three labels of kLabelDesign
// are drawn under P, the rest over it, when P is repainted.
constexpr int kLabelsBeforeP = 3;

}  // namespace zq

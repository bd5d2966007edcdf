// Curve shapes as players know them from joystick mappers (dead zone,
// saturation, curvature, invert) turned into the eleven points the panel
// reads. The panel only interpolates between its points, so a shape whose
// bends fall between them is approximated; the fit says by how much.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "config/curve_bank.h"

namespace zq::setup {

struct CurveShape {
  int deadZone = 0;      // % of travel around the centre that sends 0
  int saturation = 100;  // % of travel at which the output reaches full deflection
  int curvature = 0;     // -100..100: above 0 gentler near the centre, below 0 quicker
  bool invert = false;   // the output the other way round
};

// "" when the shape can be made, else why not ("the dead zone ...").
std::string ShapeProblem(const CurveShape& shape);

// The shape's output in hundredths at a reading -1000..1000, before any
// rounding: what the eleven points aim at.
double ShapeOutput(const CurveShape& shape, int reading);

// The eleven points: 0 at the centre, and at 10·k % deflection the gain that
// gives the shape's output there, rounded, never past full deflection.
Curve ShapeCurve(const CurveShape& shape);

// How closely the panel's response to `curve` follows the shape: the
// largest difference over every reading 0..1000 and where it is. The points
// are the shape when straight lines between its own values at 0, 10 .. 100 %
// stay within half a hundredth of it, below what the panel's whole
// hundredths show; otherwise it bends or breaks between points.
struct ShapeFit {
  double deviation = 0;
  int reading = 0;
  double between = 0;  // the shape's largest distance from its straight lines
  bool exact() const { return between < 0.5; }
};
ShapeFit FitShape(const CurveShape& shape, const Curve& curve);

// Named shapes, symmetric about the centre as every panel curve is.
struct ShapePreset {
  std::string_view name;
  CurveShape shape;
};
extern const std::array<ShapePreset, 7> kShapePresets;

}  // namespace zq::setup

// The three flight axes: the letter of their curves, the slots that move and
// trim them, and the word the tools use for them.
#pragma once

#include <array>
#include <string_view>

#include "config/binding.h"
#include "config/curve_bank.h"

namespace zq {

struct FlightAxis {
  char letter;            // curve keys "Y", "Y1".."Y9"
  std::string_view word;  // "pitch"
  Slot axis;              // the stick axis
  std::string_view trimCurve;
  Slot trimAxis;  // the wheel or knob shaped by trimCurve
  Slot routing;   // switches the trim between its own channel and the axis
};

constexpr std::array<FlightAxis, 3> kFlightAxes = {{
    {'Y', "pitch", slots::Yaxis, kTrimCurveKeys[0], slots::TrimAxis, slots::useYtrim},
    {'X', "roll", slots::Xaxis, kTrimCurveKeys[1], slots::TrimXAxis, slots::usetrim},
    {'Z', "yaw", slots::Zaxis, kTrimCurveKeys[2], slots::TrimZAxis, slots::usetrim},
}};

// The flight axis of a curve letter, or nullptr.
constexpr const FlightAxis* FlightAxisOf(char letter) {
  for (const FlightAxis& a : kFlightAxes) {
    if (a.letter == letter) return &a;
  }
  return nullptr;
}

}  // namespace zq

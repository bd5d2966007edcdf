// One control cycle: sample, act on every binding slot, report changes.
#pragma once

#include <array>

#include "config/binding.h"
#include "config/curve_bank.h"
#include "control/control_state.h"
#include "control/curve_math.h"
#include "control/datagram_sender.h"
#include "control/fixed_text.h"
#include "control/status_view.h"
#include "input/input_devices.h"
#include "input/sampling.h"

namespace zq {

// The way each flight axis went in the last tick, from the stick to the
// message, for a reader that shows it whole (the configurator). The tick only
// writes it: nothing of a tick reads it back.
struct AxisChain {
  int32_t reading = 0;      // the axis slot's reading, -1000..1000
  int32_t shaped = 0;       // that reading through the selected set's curve
  int32_t trimReading = 0;  // the trim axis slot's reading
  int32_t trimAxis = 0;     // that reading through the trim curve
  int32_t trimBtn = 0;      // the part of the trim set by buttons
  int32_t trimMixed = 0;    // the trim total the axis was mixed with (the last tick's)
  int32_t trimTotal = 0;    // the trim total after this tick
  bool apart = false;       // the trim on its own channel, the axis sent unmixed
  int32_t value = 0;        // what the axis channel carries
  int32_t trimValue = 0;    // what the trim channel carries (0 in its zero form)
};
struct TickChain {
  std::array<AxisChain, 3> axes{};  // pitch, roll, yaw, as kFlightAxes
  int32_t curveIndex = 0;           // the set whose curves shaped the axes
  uint32_t pressed = 0;             // bit per slot: pressed now in this tick
};

// The window fields that the settings load fills and the tick works on;
// all zero when the window is created.
struct FormState {
  BindingTable bindings{};
  KeySet watchedKeys{};
  JoySet joyUsed{};
  InputSnapshot input{};
  StickRouting sticks{};
  ControlState control{};
  int32_t windowX = 0;
  int32_t windowY = 0;
  TickChain chain{};
};

// Every curve of the bank evaluated once, after the load.
struct CurveTableBank {
  std::array<CurveTable, kCurveSets> y{}, x{}, z{};
  CurveTable trimY{}, trimX{}, trimZ{};
};
void ComputeCurveTables(const CurveBank& bank, CurveTableBank& tables);

struct TickPorts {
  InputDevices& devices;
  StatusView& view;
  DatagramSender& sender;
};

struct TickOutcome {
  bool sent = false;  // a message was handed to the sender
  SendResult result;  // its result; a failure is raised to the error report
};

// Runs one tick. Never allocates, never reads a clock.
TickOutcome ControlTick(FormState& form, CurveBank& bank, const CurveTableBank& tables,
                        TickPorts& ports);

// The time-counter label text: milliseconds as seconds with one decimal, an
// exact half going up ("%2.1f" of ms / 1000 without the double).
FixedText<16> SecondsText(int32_t milliseconds);

}  // namespace zq

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

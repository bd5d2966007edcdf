// The main window's logic: settings load, tick and the curve in P.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/paint_box.h"
#include "app/placement.h"
#include "app/window_view.h"
#include "config/binding.h"
#include "config/curve_bank.h"
#include "config/settings_file.h"
#include "control/control_tick.h"

namespace zq {

class TForm1 {
 public:
  // `bank` is program-wide storage outside the window; all zero at start.
  TForm1(CurveBank& bank, InputDevices& devices, WindowView& view, DatagramSender& udp);

  // The settings load, ending with sizing and placing. Returns the message
  // of the error that ended it early, if one did.
  std::optional<std::string> FormCreate(const SettingsLookup& settings, const KeyCharMap& keyMap,
                                        ScreenSize screen);
  // One control tick.
  TickOutcome Timer1Timer();
  // The selected Y curve as PPaint draws it in P.
  PaintColumns PPaint() const { return ComputePaintColumns(bank_); }
  // Nothing is done at the end of a run: nothing is saved.

  const FormState& State() const { return state_; }
  // The binding that ended the last load early, if one did.
  const std::optional<BindingLoadError>& LoadError() const { return loadError_; }
  // [sticks] lines that pin nothing because they are malformed.
  const std::vector<StickPinError>& StickPinErrors() const { return stickPinErrors_; }
  const CurveBank& Bank() const { return bank_; }
  // Where the window stands: the design until a complete load placed it.
  const Placement& WindowPlacement() const { return placement_; }
  WindowView& View() { return view_; }

 private:
  CurveBank& bank_;
  WindowView& view_;
  TickPorts ports_;
  FormState state_{};
  CurveTableBank tables_{};
  Placement placement_;
  std::optional<BindingLoadError> loadError_;
  std::vector<StickPinError> stickPinErrors_;
};

}  // namespace zq

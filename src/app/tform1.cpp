#include "app/tform1.h"

#include "config/settings_load.h"

namespace zq {

TForm1::TForm1(CurveBank& bank, InputDevices& devices, WindowView& view, DatagramSender& udp)
    : bank_(bank), view_(view), ports_{devices, view, udp}, placement_(DesignPlacement()) {}

std::optional<std::string> TForm1::FormCreate(const SettingsLookup& settings,
                                              const KeyCharMap& keyMap, ScreenSize screen) {
  ControlState& c = state_.control;
  c.useTrim = true;
  c.useYTrim = true;
  LoadedSettings loaded;
  std::optional<BindingLoadError> error = LoadSettings(settings, keyMap, loaded, bank_);
  state_.bindings = loaded.bindings;
  state_.watchedKeys = loaded.watchedKeys;
  state_.joyUsed = loaded.joyUsed;
  state_.windowX = loaded.windowX;
  state_.windowY = loaded.windowY;
  c.startTrim = loaded.startTrim;
  c.startFlaps = loaded.startFlaps;
  ComputeCurveTables(bank_, tables_);
  loadError_ = error;
  // The pins stand apart from [main]: a load that ended early keeps them.
  stickPinErrors_ = LoadStickPins(settings, state_.sticks.pins);
  if (error) return error->error.Message();
  c.trimYBtn = 0;
  placement_ = PlaceWindow(state_.windowX, state_.windowY, screen);
  return std::nullopt;
}

TickOutcome TForm1::Timer1Timer() {
  return ControlTick(state_, bank_, tables_, ports_);
}

}  // namespace zq

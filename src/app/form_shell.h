// What every shell does around the handlers of TForm1: an error that escapes
// a handler goes to the error report and the run goes on.
#pragma once

#include "app/error_report.h"
#include "app/tform1.h"

namespace zq {

// FormCreate, then the report of an error that ended it, then the window's
// placement (the design's when the load ended early).
void CreateForm(TForm1& form, const SettingsLookup& settings, const KeyCharMap& keyMap,
                ScreenSize screen, ErrorReport& report);

// One tick; a failed send is reported. Allocates nothing.
TickOutcome RunTick(TForm1& form, ErrorReport& report);

// Shells show errors in modal boxes whose own message loop keeps ticks
// running. One box at a time: an error that comes while a box is open is not
// stacked on top of it (the box already tells the player something is wrong).
class ErrorBoxGate {
 public:
  bool TryOpen() {
    if (open_) return false;
    open_ = true;
    return true;
  }
  void Close() { open_ = false; }
  bool IsOpen() const { return open_; }

 private:
  bool open_ = false;
};

}  // namespace zq

// What the page shows of the preview's last tick besides the panel itself:
// each flight axis from the stick to the message (the values the core's tick
// used, never computed again here), the bound inputs held now with the
// readings of the bound axes, and a line saying what the last press did.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>

#include "app/tform1.h"

namespace zq::setup::ui {

class InputWatch {
 public:
  // After each tick of the preview's core: notes the presses and the holds
  // that began in it.
  void AfterTick(const TForm1& form, int64_t tick);
  void Reset() { *this = InputWatch{}; }

  // {"axes": [...], "slots": [...], "happened": {"tick", "text"} or null}
  nlohmann::json Json(const TForm1& form) const;

 private:
  uint32_t held_ = 0;  // bit per slot, as the last tick left them
  int64_t happenedTick_ = 0;
  std::string happened_;
};

// The player's name of a binding's input: "key Ctrl+T", "joystick 1 button 4",
// "joystick 0 axis Y", "nothing" for an empty one.
std::string InputName(const Binding& b, bool axis);

}  // namespace zq::setup::ui

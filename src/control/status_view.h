// What the control tick writes to the status window.
#pragma once

#include <cstdint>
#include <string_view>

namespace zq {

struct Rgb {
  uint8_t r = 0, g = 0, b = 0;
  friend bool operator==(const Rgb&, const Rgb&) = default;
};

constexpr Rgb kWhite{255, 255, 255};
constexpr Rgb kYellow{255, 255, 0};
constexpr Rgb kBlue{0, 0, 255};
constexpr Rgb kNavy{0, 0, 128};
constexpr Rgb kLime{0, 255, 0};
constexpr Rgb kRed{255, 0, 0};

// The labels of the panel, in creation order. The short names are the
// panel's own component names (the settings tools and tests use them too).
enum class Label : uint8_t {
  f,       // flap position, in words, on the flap colour
  yp,      // Y (pitch) axis after its curve; after a useYtrim toggle its colour
           // shows the Y trim routing: white sent apart, yellow mixed in
  xp,      // throttle; also "Чат" (chat) in chat mode, the curve-set index after a
           // switch, and "trim" after a trim button
  xyp,     // X (roll) axis after its curve; after a usetrim toggle its colour
           // shows the X/Z trim routing, as yp
  zyp,     // Z (yaw) axis after its curve; colour as xyp
  ty,      // Y trim total (button + trim axis); white while the trim axis adds to it
  tx,      // X trim total, coloured as ty
  tz,      // Z trim total, coloured as ty
  Label1,  // time counter 1, seconds the fire/Fire12 bindings were held
  Label2,  // time counter 2, seconds the Fire2/Fire12 bindings were held
};
constexpr int kLabelCount = 10;
std::string_view LabelName(Label label);

class StatusView {
 public:
  virtual ~StatusView() = default;
  // `text` is UTF-8.
  virtual void SetText(Label label, std::string_view text) = 0;
  virtual void SetFontColor(Label label, Rgb color) = 0;
  virtual void SetBackground(Label label, Rgb color) = 0;
  // Repaints the paint box P (the Y curve, under xp) at once: clears
  // it, redraws the labels over it and draws the selected Y curve, before
  // returning. Called after a curve-set switch.
  virtual void RepaintP() = 0;
};

}  // namespace zq

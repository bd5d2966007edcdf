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

// The labels of the panel, in creation order.
enum class Label : uint8_t { f, yp, xp, xyp, zyp, ty, tx, tz, Label1, Label2 };
constexpr int kLabelCount = 10;
std::string_view LabelName(Label label);

class StatusView {
 public:
  virtual ~StatusView() = default;
  // `text` is UTF-8.
  virtual void SetText(Label label, std::string_view text) = 0;
  virtual void SetFontColor(Label label, Rgb color) = 0;
  virtual void SetBackground(Label label, Rgb color) = 0;
  // Clears P and draws the curve preview at once.
  virtual void RepaintP() = 0;
};

}  // namespace zq

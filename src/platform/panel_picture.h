// The panel drawn in memory by the platform's own window code, for zq-setup's
// preview: the same font, text widths, colours and P as the panel shows, so
// the page shows the panel's pixels rather than a browser's idea of them.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/form_design.h"
#include "app/paint_box.h"
#include "control/status_view.h"

namespace zq {

// What the window shows at one moment.
struct PanelLook {
  struct LabelLook {
    std::string text;  // UTF-8
    Rgb color, background;
  };
  std::array<LabelLook, kLabelCount> labels;  // by Label
  PaintColumns columns{};                     // P, as PPaint gives it
};

// The design area, kDesignWidth x kDesignHeight, 3 bytes (R, G, B) a pixel,
// rows from the top; the window shows its left part.
using PanelPixels = std::vector<uint8_t>;

class PanelPicture {
 public:
  virtual ~PanelPicture() = default;
  virtual PanelPixels Draw(const PanelLook& look) = 0;
};

// The platform's own drawing of the panel; nullptr, with `error` saying why,
// where the build draws no panel or its font cannot be had.
std::unique_ptr<PanelPicture> MakePanelPicture(std::string& error);

}  // namespace zq

// The panel's picture with SDL2_ttf: the labels in the panel's font over the
// navy ground and the curve in P, drawn into any surface. The window draws
// into its own surface; zq-setup's preview into memory, so that the page
// shows the very pixels the panel shows.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "app/paint_box.h"
#include "control/fixed_text.h"
#include "control/status_view.h"

struct SDL_Surface;
struct _TTF_Font;
typedef struct _TTF_Font TTF_Font;

namespace zq {

// Pixel size of the label font: DejaVu Sans at an 8-pixel em has digits 5
// pixels wide, so "-100" fits the 20-pixel column before the trim labels, as
// in the design's 8-point bitmap font.
constexpr int kLabelFontPixels = 8;
// Row of a label's 13 on which the text stands.
constexpr int kLabelBaseline = 10;

class SdlPanelDrawing {
 public:
  SdlPanelDrawing() = default;
  ~SdlPanelDrawing();
  SdlPanelDrawing(const SdlPanelDrawing&) = delete;
  SdlPanelDrawing& operator=(const SdlPanelDrawing&) = delete;

  // Opens the font and sets the labels' start texts and colours. False with
  // `error` set when the font cannot be had.
  bool Open(const std::string& fontPath, std::string& error);

  // Each says whether anything changed.
  bool SetText(Label label, std::string_view text);
  bool SetFontColor(Label label, Rgb color);
  bool SetBackground(Label label, Rgb color);

  // The components at their design places in `target`, over the navy
  // ground that fills it: labels in creation order, P's columns after xp.
  void Draw(SDL_Surface* target, const PaintColumns& columns);

 private:
  struct LabelState {
    FixedText<128> text;
    Rgb color, background;
    SDL_Surface* rendered = nullptr;  // the text in its colour, transparent around
    int width = 0;
    bool stale = true;
  };
  LabelState& State(Label label) { return labels_[static_cast<size_t>(label)]; }
  void RenderLabel(LabelState& s);
  void DrawLabel(SDL_Surface* target, Label label);
  static void DrawPaintBox(SDL_Surface* target, const PaintColumns& columns);

  TTF_Font* font_ = nullptr;
  bool ttfStarted_ = false;
  std::array<LabelState, kLabelCount> labels_{};
};

}  // namespace zq

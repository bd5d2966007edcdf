#include "platform/linux/sdl_panel_drawing.h"

#include <SDL.h>
#include <SDL_ttf.h>

#include "app/form_design.h"

namespace zq {
namespace {

Uint32 MapRgb(const SDL_Surface* s, Rgb c) {
  return SDL_MapRGB(s->format, c.r, c.g, c.b);
}

}  // namespace

SdlPanelDrawing::~SdlPanelDrawing() {
  for (LabelState& s : labels_) {
    if (s.rendered != nullptr) SDL_FreeSurface(s.rendered);
  }
  if (font_ != nullptr) TTF_CloseFont(font_);
  if (ttfStarted_) TTF_Quit();
}

bool SdlPanelDrawing::Open(const std::string& fontPath, std::string& error) {
  if (TTF_Init() != 0) {
    error = std::string("cannot start the font renderer: ") + TTF_GetError();
    return false;
  }
  ttfStarted_ = true;
  font_ = TTF_OpenFont(fontPath.c_str(), kLabelFontPixels);
  if (font_ == nullptr) {
    error = "cannot open the font file \"" + fontPath + "\": " + TTF_GetError();
    return false;
  }
  // Crisp one-colour glyphs, as the design's bitmap font draws them: at this
  // size smoothed glyphs blur, and the panel's colours stay exact.
  TTF_SetFontHinting(font_, TTF_HINTING_MONO);
  for (const LabelDesign& d : kLabelDesign) {
    LabelState& s = State(d.label);
    s.text.Clear();
    s.text.Append(d.text);
    s.color = d.color;
    s.background = kNavy;
    s.stale = true;
  }
  return true;
}

bool SdlPanelDrawing::SetText(Label label, std::string_view text) {
  LabelState& s = State(label);
  if (s.text.View() == text) return false;
  s.text.Clear();
  s.text.Append(text);
  s.stale = true;
  return true;
}

bool SdlPanelDrawing::SetFontColor(Label label, Rgb color) {
  LabelState& s = State(label);
  if (s.color == color) return false;
  s.color = color;
  s.stale = true;
  return true;
}

bool SdlPanelDrawing::SetBackground(Label label, Rgb color) {
  LabelState& s = State(label);
  if (s.background == color) return false;
  s.background = color;
  return true;
}

void SdlPanelDrawing::RenderLabel(LabelState& s) {
  if (s.rendered != nullptr) SDL_FreeSurface(s.rendered);
  s.rendered = nullptr;
  s.width = 0;
  s.stale = false;
  if (s.text.Empty() || font_ == nullptr) return;
  std::string text(s.text.View());
  int w = 0, h = 0;
  // The label is as wide as its text, trailing blanks included (the flap
  // label's colour covers them).
  if (TTF_SizeUTF8(font_, text.c_str(), &w, &h) == 0) s.width = w;
  SDL_Color color{s.color.r, s.color.g, s.color.b, 255};
  s.rendered = TTF_RenderUTF8_Solid(font_, text.c_str(), color);
  if (s.rendered != nullptr && s.rendered->w > s.width) s.width = s.rendered->w;
}

void SdlPanelDrawing::DrawLabel(SDL_Surface* target, Label label) {
  LabelState& s = State(label);
  if (s.stale) RenderLabel(s);
  const LabelDesign& d = kLabelDesign[static_cast<size_t>(label)];
  // Opaque: the label paints its own background first.
  SDL_Rect box{d.left, d.top, s.width, kLabelHeight};
  SDL_FillRect(target, &box, MapRgb(target, s.background));
  if (s.rendered == nullptr) return;
  SDL_Rect clip = box;
  SDL_SetClipRect(target, &clip);
  SDL_Rect at{d.left, d.top + kLabelBaseline - TTF_FontAscent(font_), 0, 0};
  SDL_BlitSurface(s.rendered, nullptr, target, &at);
  SDL_SetClipRect(target, nullptr);
}

void SdlPanelDrawing::DrawPaintBox(SDL_Surface* target, const PaintColumns& columns) {
  Uint32 white = MapRgb(target, kWhite);
  for (int i = 1; i <= 20; ++i) {
    PaintRows rows = PaintColumnRows(columns[static_cast<size_t>(i - 1)]);
    if (rows.first > rows.last) continue;
    SDL_Rect line{kPaintBox.left + i, kPaintBox.top + rows.first, 1, rows.last - rows.first + 1};
    SDL_FillRect(target, &line, white);
  }
}

void SdlPanelDrawing::Draw(SDL_Surface* target, const PaintColumns& columns) {
  SDL_FillRect(target, nullptr, MapRgb(target, kNavy));
  // Creation order is drawing order: f, yp, xp, then P, then the rest.
  for (size_t i = 0; i < kLabelDesign.size(); ++i) {
    if (i == kLabelsBeforeP) DrawPaintBox(target, columns);
    DrawLabel(target, kLabelDesign[i].label);
  }
}

}  // namespace zq

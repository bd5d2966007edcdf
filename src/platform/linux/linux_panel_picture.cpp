// The panel's picture for zq-setup's preview: the window's own drawing with
// the font the panel finds, into a surface in memory. No display is needed.
#include <SDL.h>

#include "platform/linux/fontconfig_font.h"
#include "platform/linux/sdl_panel_drawing.h"
#include "platform/panel_picture.h"

namespace zq {
namespace {

class SdlPanelPicture : public PanelPicture {
 public:
  ~SdlPanelPicture() override {
    if (surface_ != nullptr) SDL_FreeSurface(surface_);
  }
  bool Open(std::string& error) {
    std::string font = FindPanelFont(error);
    if (font.empty() || !drawing_.Open(font, error)) return false;
    surface_ =
        SDL_CreateRGBSurfaceWithFormat(0, kDesignWidth, kDesignHeight, 32, SDL_PIXELFORMAT_RGB888);
    if (surface_ == nullptr) error = std::string("cannot make the picture: ") + SDL_GetError();
    return surface_ != nullptr;
  }
  PanelPixels Draw(const PanelLook& look) override {
    for (size_t i = 0; i < look.labels.size(); ++i) {
      Label label = static_cast<Label>(i);
      drawing_.SetText(label, look.labels[i].text);
      drawing_.SetFontColor(label, look.labels[i].color);
      drawing_.SetBackground(label, look.labels[i].background);
    }
    drawing_.Draw(surface_, look.columns);
    PanelPixels rgb;
    rgb.reserve(size_t{kDesignWidth} * kDesignHeight * 3);
    for (int y = 0; y < kDesignHeight; ++y) {
      const auto* row = reinterpret_cast<const Uint32*>(
          static_cast<const uint8_t*>(surface_->pixels) + y * surface_->pitch);
      for (int x = 0; x < kDesignWidth; ++x) {
        Uint8 r = 0, g = 0, b = 0;
        SDL_GetRGB(row[x], surface_->format, &r, &g, &b);
        rgb.insert(rgb.end(), {r, g, b});
      }
    }
    return rgb;
  }

 private:
  SdlPanelDrawing drawing_;
  SDL_Surface* surface_ = nullptr;
};

}  // namespace

std::unique_ptr<PanelPicture> MakePanelPicture(std::string& error) {
  auto picture = std::make_unique<SdlPanelPicture>();
  if (!picture->Open(error)) return nullptr;
  return picture;
}

}  // namespace zq

// The panel's picture for zq-setup's preview: the window's own GDI drawing,
// with the font it chooses, into a bitmap in memory.
#include "platform/panel_picture.h"
#include "platform/win32/win32_window.h"

namespace zq {
namespace {

class GdiPanelPicture : public PanelPicture {
 public:
  ~GdiPanelPicture() override {
    if (dc_ != nullptr) {
      SelectObject(dc_, old_);
      DeleteDC(dc_);
    }
    if (bitmap_ != nullptr) DeleteObject(bitmap_);
  }
  bool Open(std::string& error) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = kDesignWidth;
    info.bmiHeader.biHeight = -kDesignHeight;  // rows from the top
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    dc_ = CreateCompatibleDC(nullptr);
    if (dc_ != nullptr) {
      bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits_, nullptr, 0);
    }
    if (dc_ == nullptr || bitmap_ == nullptr || bits_ == nullptr) {
      error = "cannot make the picture (GDI error " + std::to_string(GetLastError()) + ")";
      return false;
    }
    old_ = SelectObject(dc_, bitmap_);
    return true;
  }
  PanelPixels Draw(const PanelLook& look) override {
    for (size_t i = 0; i < look.labels.size(); ++i) {
      Label label = static_cast<Label>(i);
      window_.SetText(label, look.labels[i].text);
      window_.SetFontColor(label, look.labels[i].color);
      window_.SetBackground(label, look.labels[i].background);
    }
    window_.Render(dc_, look.columns);
    GdiFlush();
    PanelPixels rgb;
    rgb.reserve(size_t{kDesignWidth} * kDesignHeight * 3);
    const auto* px = static_cast<const uint8_t*>(bits_);  // B, G, R, unused
    for (int i = 0; i < kDesignWidth * kDesignHeight; ++i, px += 4) {
      rgb.insert(rgb.end(), {px[2], px[1], px[0]});
    }
    return rgb;
  }

 private:
  Win32Window window_;  // never made on screen: only its drawing is used
  HDC dc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ old_ = nullptr;
  void* bits_ = nullptr;
};

}  // namespace

std::unique_ptr<PanelPicture> MakePanelPicture(std::string& error) {
  auto picture = std::make_unique<GdiPanelPicture>();
  if (!picture->Open(error)) return nullptr;
  return picture;
}

}  // namespace zq

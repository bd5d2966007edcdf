// The status window on SDL2 with SDL2_ttf: a borderless, always-on-top panel
// with its own task-bar entry, drawn into the window surface.
#pragma once

#include <array>
#include <string>

#include "app/placement.h"
#include "app/window_view.h"
#include "platform/linux/sdl_panel_drawing.h"

struct SDL_Window;
typedef struct _XDisplay Display;
union SDL_Event;

namespace zq {

class TForm1;

class SdlWindow : public WindowView {
 public:
  SdlWindow() = default;
  ~SdlWindow() override;
  SdlWindow(const SdlWindow&) = delete;
  SdlWindow& operator=(const SdlWindow&) = delete;

  // Prepares the window with the labels' start texts, at the design's place
  // and size until Place() says otherwise. False with `error` set when the
  // video system or the font cannot be had.
  bool Create(const std::string& fontPath, std::string& error);
  // P draws what this form's PPaint gives.
  void AttachForm(const TForm1* form) { form_ = form; }

  void SetText(Label label, std::string_view text) override;
  void SetFontColor(Label label, Rgb color) override;
  void SetBackground(Label label, Rgb color) override;
  void RepaintP() override { dirty_ = true; }
  void Place(const Placement& placement) override;

  // Makes the window where it was placed and shows it.
  bool Show(std::string& error);
  // Draws the window if anything changed or it was uncovered since the last
  // call. Cheap when nothing did.
  void Present();
  // Handles a window event; false when the window was closed.
  bool HandleEvent(const SDL_Event& event);

  // The connection SDL draws through, for the event loop to wait on.
  Display* XDisplay() const;
  // The panel's X window once shown (0 before, or off X11): the owner of its
  // error boxes.
  unsigned long XWindowId() const;
  // Pixel size of the primary screen.
  ScreenSize PrimaryScreen() const;

 private:
  SDL_Window* window_ = nullptr;
  bool videoStarted_ = false;
  const TForm1* form_ = nullptr;
  SdlPanelDrawing drawing_;
  Placement placement_;
  bool dirty_ = true;
};

}  // namespace zq

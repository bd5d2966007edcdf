#include "platform/linux/sdl_window.h"

#include <SDL.h>
#include <SDL_syswm.h>
#include <SDL_ttf.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include "app/form_design.h"
#include "app/tform1.h"

namespace zq {
namespace {

Uint32 MapRgb(const SDL_Surface* s, Rgb c) {
  return SDL_MapRGB(s->format, c.r, c.g, c.b);
}

// The panel never takes the keyboard from the simulator, as the Windows
// program does not: the window manager is told the window wants no input
// (WM_HINTS input False, no WM_TAKE_FOCUS) before it is first mapped.
// WM_DELETE_WINDOW stays, so the task bar can still close it.
void RefuseFocus(SDL_Window* window) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return;
  Display* display = info.info.x11.display;
  ::Window w = info.info.x11.window;
  XWMHints* hints = XGetWMHints(display, w);
  XWMHints fresh{};
  XWMHints* h = hints != nullptr ? hints : &fresh;
  h->flags |= InputHint;
  h->input = False;
  XSetWMHints(display, w, h);
  if (hints != nullptr) XFree(hints);
  Atom protocols[] = {XInternAtom(display, "WM_DELETE_WINDOW", False),
                      XInternAtom(display, "_NET_WM_PING", False)};
  XSetWMProtocols(display, w, protocols, 2);
  XFlush(display);
}

}  // namespace

SdlWindow::~SdlWindow() {
  for (LabelState& s : labels_) {
    if (s.rendered != nullptr) SDL_FreeSurface(s.rendered);
  }
  if (font_ != nullptr) TTF_CloseFont(font_);
  if (ttfStarted_) TTF_Quit();
  if (window_ != nullptr) SDL_DestroyWindow(window_);
  if (videoStarted_) SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

bool SdlWindow::Create(const std::string& fontPath, std::string& error) {
  // Keys are read from the X server, so the window lives there too.
  SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");
  // The panel is no game: the screen saver may run while it shows.
  SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
  // 42 x 77 pixels need no OpenGL: drawing into the X server's own image
  // keeps Mesa (some 60 MB) out of a process that runs for hours.
  SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    error = std::string("cannot start the video subsystem: ") + SDL_GetError();
    return false;
  }
  videoStarted_ = true;
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
  placement_ = DesignPlacement();
  for (const LabelDesign& d : kLabelDesign) {
    LabelState& s = State(d.label);
    s.text.Append(d.text);
    s.color = d.color;
    s.background = kNavy;
  }
  return true;
}

void SdlWindow::SetText(Label label, std::string_view text) {
  LabelState& s = State(label);
  if (s.text.View() == text) return;
  s.text.Clear();
  s.text.Append(text);
  s.stale = true;
  dirty_ = true;
}

void SdlWindow::SetFontColor(Label label, Rgb color) {
  LabelState& s = State(label);
  if (s.color == color) return;
  s.color = color;
  s.stale = true;
  dirty_ = true;
}

void SdlWindow::SetBackground(Label label, Rgb color) {
  LabelState& s = State(label);
  if (s.background == color) return;
  s.background = color;
  dirty_ = true;
}

void SdlWindow::Place(const Placement& placement) {
  placement_ = placement;
  dirty_ = true;
}

bool SdlWindow::Show(std::string& error) {
  // Made only now, where it is to stand: X11 windows moved before they are
  // first mapped do not reliably stay where they were moved.
  window_ = SDL_CreateWindow(std::string(kWindowTitle).c_str(), placement_.left, placement_.top,
                             placement_.width, placement_.height,
                             SDL_WINDOW_BORDERLESS | SDL_WINDOW_ALWAYS_ON_TOP | SDL_WINDOW_HIDDEN);
  if (window_ == nullptr) {
    error = std::string("cannot make the window: ") + SDL_GetError();
    return false;
  }
  RefuseFocus(window_);
  SDL_ShowWindow(window_);
  dirty_ = true;
  Present();
  return true;
}

void SdlWindow::RenderLabel(LabelState& s) {
  if (s.rendered != nullptr) SDL_FreeSurface(s.rendered);
  s.rendered = nullptr;
  s.width = 0;
  s.stale = false;
  if (s.text.Empty()) return;
  std::string text(s.text.View());
  int w = 0, h = 0;
  // The label is as wide as its text, trailing blanks included (the flap
  // label's colour covers them).
  if (TTF_SizeUTF8(font_, text.c_str(), &w, &h) == 0) s.width = w;
  SDL_Color color{s.color.r, s.color.g, s.color.b, 255};
  s.rendered = TTF_RenderUTF8_Solid(font_, text.c_str(), color);
  if (s.rendered != nullptr && s.rendered->w > s.width) s.width = s.rendered->w;
}

void SdlWindow::DrawLabel(SDL_Surface* target, Label label) {
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

void SdlWindow::DrawPaintBox(SDL_Surface* target) {
  if (form_ == nullptr) return;
  PaintColumns columns = form_->PPaint();
  Uint32 white = MapRgb(target, kWhite);
  for (int i = 1; i <= 20; ++i) {
    PaintRows rows = PaintColumnRows(columns[static_cast<size_t>(i - 1)]);
    if (rows.first > rows.last) continue;
    SDL_Rect line{kPaintBox.left + i, kPaintBox.top + rows.first, 1, rows.last - rows.first + 1};
    SDL_FillRect(target, &line, white);
  }
}

void SdlWindow::Present() {
  if (!dirty_ || window_ == nullptr) return;
  SDL_Surface* surface = SDL_GetWindowSurface(window_);
  if (surface == nullptr) return;
  dirty_ = false;
  SDL_FillRect(surface, nullptr, MapRgb(surface, kNavy));
  // Creation order is drawing order: f, yp, xp, then P, then the rest.
  for (size_t i = 0; i < kLabelDesign.size(); ++i) {
    if (i == kLabelsBeforeP) DrawPaintBox(surface);
    DrawLabel(surface, kLabelDesign[i].label);
  }
  SDL_UpdateWindowSurface(window_);
}

bool SdlWindow::HandleEvent(const SDL_Event& event) {
  if (event.type == SDL_QUIT) return false;
  if (event.type == SDL_WINDOWEVENT && event.window.windowID == SDL_GetWindowID(window_)) {
    switch (event.window.event) {
      case SDL_WINDOWEVENT_CLOSE:
        return false;
      case SDL_WINDOWEVENT_EXPOSED:
      case SDL_WINDOWEVENT_SHOWN:
      case SDL_WINDOWEVENT_SIZE_CHANGED:
        dirty_ = true;
        break;
      default:
        break;
    }
  }
  return true;
}

Display* SdlWindow::XDisplay() const {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (window_ == nullptr || !SDL_GetWindowWMInfo(window_, &info) ||
      info.subsystem != SDL_SYSWM_X11) {
    return nullptr;
  }
  return info.info.x11.display;
}

unsigned long SdlWindow::XWindowId() const {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (window_ == nullptr || !SDL_GetWindowWMInfo(window_, &info) ||
      info.subsystem != SDL_SYSWM_X11) {
    return 0;
  }
  return info.info.x11.window;
}

ScreenSize SdlWindow::PrimaryScreen() const {
  SDL_Rect r{};
  if (SDL_GetDisplayBounds(0, &r) != 0) return {};
  return {r.w, r.h};
}

}  // namespace zq

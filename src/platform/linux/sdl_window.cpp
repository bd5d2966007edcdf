#include "platform/linux/sdl_window.h"

#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include "app/form_design.h"
#include "app/tform1.h"

namespace zq {
namespace {

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
  if (!drawing_.Open(fontPath, error)) return false;
  placement_ = DesignPlacement();
  return true;
}

void SdlWindow::SetText(Label label, std::string_view text) {
  if (drawing_.SetText(label, text)) dirty_ = true;
}

void SdlWindow::SetFontColor(Label label, Rgb color) {
  if (drawing_.SetFontColor(label, color)) dirty_ = true;
}

void SdlWindow::SetBackground(Label label, Rgb color) {
  if (drawing_.SetBackground(label, color)) dirty_ = true;
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

void SdlWindow::Present() {
  if (!dirty_ || window_ == nullptr) return;
  SDL_Surface* surface = SDL_GetWindowSurface(window_);
  if (surface == nullptr) return;
  dirty_ = false;
  drawing_.Draw(surface, form_ != nullptr ? form_->PPaint() : PaintColumns{});
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

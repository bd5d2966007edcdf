#include "platform/linux/error_box_window.h"

#include <SDL.h>
#include <SDL_syswm.h>
#include <SDL_ttf.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>

#include "platform/linux/fontconfig_font.h"

namespace zq {
namespace {

constexpr int kFontPixels = 13;
constexpr int kMargin = 16;
constexpr int kWrapWidth = 460;
constexpr int kMinWidth = 220;
constexpr int kButtonWidth = 80;
constexpr int kButtonHeight = 26;
constexpr SDL_Color kInk = {0, 0, 0, 255};

// Everything the box holds, given back in one place on every way out.
struct BoxParts {
  bool videoStarted = false;
  bool ttfStarted = false;
  TTF_Font* font = nullptr;
  SDL_Surface* text = nullptr;
  SDL_Surface* ok = nullptr;
  SDL_Window* window = nullptr;

  ~BoxParts() {
    if (window != nullptr) SDL_DestroyWindow(window);
    if (ok != nullptr) SDL_FreeSurface(ok);
    if (text != nullptr) SDL_FreeSurface(text);
    if (font != nullptr) TTF_CloseFont(font);
    if (ttfStarted) TTF_Quit();
    if (videoStarted) SDL_QuitSubSystem(SDL_INIT_VIDEO);
  }
};

void Fill(SDL_Surface* s, const SDL_Rect& r, Uint8 red, Uint8 green, Uint8 blue) {
  SDL_FillRect(s, &r, SDL_MapRGB(s->format, red, green, blue));
}

void Frame(SDL_Surface* s, const SDL_Rect& r, Uint8 red, Uint8 green, Uint8 blue) {
  Fill(s, {r.x, r.y, r.w, 1}, red, green, blue);
  Fill(s, {r.x, r.y + r.h - 1, r.w, 1}, red, green, blue);
  Fill(s, {r.x, r.y, 1, r.h}, red, green, blue);
  Fill(s, {r.x + r.w - 1, r.y, 1, r.h}, red, green, blue);
}

bool Draw(const BoxParts& box, const SDL_Rect& button, bool pressed) {
  SDL_Surface* s = SDL_GetWindowSurface(box.window);
  if (s == nullptr) return false;
  Fill(s, {0, 0, s->w, s->h}, 240, 240, 240);
  SDL_Rect at = {kMargin, kMargin, box.text->w, box.text->h};
  SDL_BlitSurface(box.text, nullptr, s, &at);
  Fill(s, button, pressed ? 204 : 225, pressed ? 228 : 225, pressed ? 247 : 225);
  // The button has the focus: Enter presses it.
  Frame(s, button, 0, 120, 215);
  SDL_Rect label = {button.x + (button.w - box.ok->w) / 2, button.y + (button.h - box.ok->h) / 2,
                    box.ok->w, box.ok->h};
  SDL_BlitSurface(box.ok, nullptr, s, &label);
  return SDL_UpdateWindowSurface(box.window) == 0;
}

// The shown text on the window, where tools that read windows find it.
// Returns the window's X connection (null where it has none).
Display* PublishText(SDL_Window* window, const std::string& text) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return nullptr;
  Display* d = info.info.x11.display;
  XChangeProperty(d, info.info.x11.window, XInternAtom(d, kBoxTextProperty, False),
                  XInternAtom(d, "UTF8_STRING", False), 8, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(text.data()),
                  static_cast<int>(text.size()));
  XFlush(d);
  return d;
}

// Waits up to 100 ms for the X server or the watched descriptor; true when
// the descriptor is readable (end of file for the box's socket, on which
// nothing follows the message). Not SDL_WaitEventTimeout: its wake-up
// messages go to the box window on a connection of their own, even while
// the window is destroyed.
bool WaitGone(Display* display, int watchFd) {
  if (display != nullptr && XEventsQueued(display, QueuedAlready) > 0) return false;
  pollfd fds[2] = {{watchFd, POLLIN, 0},
                   {display != nullptr ? ConnectionNumber(display) : -1, POLLIN, 0}};
  if (::poll(fds, 2, 100) <= 0) return false;
  return (fds[0].revents & (POLLIN | POLLHUP)) != 0;
}

// A request about a window that went meanwhile is no reason to end, and
// Xlib's own handler would end the process: SDL's wake-up message to the box
// window, sent on a connection of its own while the window is destroyed,
// fails that way. It stays in place until the end, since such errors come
// as late as the display's closing.
int IgnoreXError(Display*, XErrorEvent*) {
  return 0;
}

bool Inside(const SDL_Rect& r, int x, int y) {
  return x >= r.x && x < r.x + r.w && y >= r.y && y < r.y + r.h;
}

// Room left around the box for a window manager's frame and title bar.
constexpr int kFrameRoom = 40;

// The owner's place on the screen, from a connection of its own: the box's
// window is made where it is to stand. False when it is gone or unknown.
bool OwnerRect(unsigned long owner, SDL_Rect& out) {
  if (owner == 0) return false;
  Display* d = XOpenDisplay(nullptr);
  if (d == nullptr) return false;
  XWindowAttributes a{};
  ::Window child = 0;
  int x = 0, y = 0;
  const bool found = XGetWindowAttributes(d, owner, &a) != 0 &&
                     XTranslateCoordinates(d, owner, a.root, 0, 0, &x, &y, &child) != 0;
  XCloseDisplay(d);
  if (!found) return false;
  out = {x, y, a.width, a.height};
  return true;
}

// Centred on the screen, unless the always-on-top panel would cover part of
// it: then below, above, right or left of the panel, whichever fits first.
SDL_Point BoxPlace(const SDL_Rect& screen, int width, int height, unsigned long owner) {
  const SDL_Point centred = {screen.x + (screen.w - width) / 2, screen.y + (screen.h - height) / 2};
  SDL_Rect panel{};
  if (!OwnerRect(owner, panel)) return centred;
  const SDL_Rect near = {panel.x - kFrameRoom, panel.y - kFrameRoom, panel.w + 2 * kFrameRoom,
                         panel.h + 2 * kFrameRoom};
  const SDL_Point tries[] = {
      centred,
      {centred.x, near.y + near.h},
      {centred.x, near.y - height},
      {near.x + near.w, centred.y},
      {near.x - width, centred.y},
  };
  for (const SDL_Point& at : tries) {
    const SDL_Rect box = {at.x, at.y, width, height};
    const bool onScreen = at.x >= screen.x && at.y >= screen.y &&
                          at.x + width <= screen.x + screen.w &&
                          at.y + height <= screen.y + screen.h;
    if (onScreen && !SDL_HasIntersection(&box, &near)) return at;
  }
  return centred;
}

// Before the box is first mapped: it belongs to `owner` (the window manager
// keeps it above the panel and out of the task bar), and it is shown without
// the keyboard focus (WM_HINTS input False, user time 0), as the panel is:
// the simulator keeps the keys it is being flown with.
void BelongWithoutFocus(SDL_Window* window, unsigned long owner) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return;
  Display* d = info.info.x11.display;
  ::Window w = info.info.x11.window;
  if (owner != 0) XSetTransientForHint(d, w, owner);
  XWMHints hints{};
  hints.flags = InputHint;
  hints.input = False;
  XSetWMHints(d, w, &hints);
  const long never = 0;
  XChangeProperty(d, w, XInternAtom(d, "_NET_WM_USER_TIME", False), XA_CARDINAL, 32,
                  PropModeReplace, reinterpret_cast<const unsigned char*>(&never), 1);
  XFlush(d);
}

// Once shown, a click may give the box the keyboard, for Enter and Escape.
void AcceptFocus(SDL_Window* window) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return;
  XWMHints hints{};
  hints.flags = InputHint;
  hints.input = True;
  XSetWMHints(info.info.x11.display, info.info.x11.window, &hints);
  XFlush(info.info.x11.display);
}

}  // namespace

BoxEnd ShowBoxWindow(const std::string& title, const std::string& text, int watchFd,
                     unsigned long owner, std::string& error) {
  BoxParts box;
  auto fail = [&](std::string why) {
    error = std::move(why);
    return BoxEnd::failed;
  };
  // Plain X11 drawing: no OpenGL to load for a box.
  SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return fail(SDL_GetError());
  box.videoStarted = true;
  XSetErrorHandler(IgnoreXError);
  if (TTF_WasInit() == 0) {
    if (TTF_Init() != 0) return fail(TTF_GetError());
    box.ttfStarted = true;
  }
  std::string fontPath = FindDejaVuSans(error);
  if (fontPath.empty()) return BoxEnd::failed;
  box.font = TTF_OpenFont(fontPath.c_str(), kFontPixels);
  if (box.font == nullptr) return fail(fontPath + ": " + TTF_GetError());
  // SDL_ttf makes nothing of an empty text.
  box.text =
      TTF_RenderUTF8_Blended_Wrapped(box.font, text.empty() ? " " : text.c_str(), kInk, kWrapWidth);
  box.ok = TTF_RenderUTF8_Blended(box.font, "OK", kInk);
  if (box.text == nullptr || box.ok == nullptr) return fail(TTF_GetError());

  const int width = std::max({box.text->w + 2 * kMargin, kButtonWidth + 2 * kMargin, kMinWidth});
  const int height = kMargin + box.text->h + kMargin + kButtonHeight + kMargin;
  const SDL_Rect button = {width - kMargin - kButtonWidth, height - kMargin - kButtonHeight,
                           kButtonWidth, kButtonHeight};
  SDL_Rect screen{};
  if (SDL_GetDisplayBounds(0, &screen) != 0) screen = {0, 0, width, height};
  const SDL_Point at = BoxPlace(screen, width, height, owner);
  box.window = SDL_CreateWindow(title.c_str(), at.x, at.y, width, height, SDL_WINDOW_HIDDEN);
  if (box.window == nullptr) return fail(SDL_GetError());
  // The surface first: making it may make the window anew.
  if (SDL_GetWindowSurface(box.window) == nullptr) return fail(SDL_GetError());
  Display* display = PublishText(box.window, text);
  BelongWithoutFocus(box.window, owner);
  SDL_ShowWindow(box.window);
  AcceptFocus(box.window);

  bool pressed = false, redraw = true;
  while (true) {
    if (redraw && !Draw(box, button, pressed)) return fail(SDL_GetError());
    redraw = false;
    SDL_Event e;
    while (SDL_PollEvent(&e) != 0) {
      switch (e.type) {
        case SDL_QUIT:
          return BoxEnd::closed;
        case SDL_WINDOWEVENT:
          if (e.window.event == SDL_WINDOWEVENT_CLOSE) return BoxEnd::closed;
          redraw = true;
          break;
        case SDL_KEYDOWN:
          switch (e.key.keysym.sym) {
            case SDLK_RETURN:
            case SDLK_KP_ENTER:
            case SDLK_ESCAPE:
            case SDLK_SPACE:
              return BoxEnd::closed;
            default:
              break;
          }
          break;
        case SDL_MOUSEBUTTONDOWN:
          if (e.button.button == SDL_BUTTON_LEFT && Inside(button, e.button.x, e.button.y)) {
            pressed = redraw = true;
          }
          break;
        case SDL_MOUSEBUTTONUP:
          if (e.button.button != SDL_BUTTON_LEFT || !pressed) break;
          if (Inside(button, e.button.x, e.button.y)) return BoxEnd::closed;
          pressed = false;
          redraw = true;
          break;
        default:
          break;
      }
    }
    if (!redraw && WaitGone(display, watchFd)) return BoxEnd::abandoned;
  }
}

}  // namespace zq

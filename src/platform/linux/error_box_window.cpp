#include "platform/linux/error_box_window.h"

#include <SDL.h>
#include <SDL_syswm.h>
#include <SDL_ttf.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
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

}  // namespace

BoxEnd ShowBoxWindow(const std::string& title, const std::string& text, int watchFd,
                     std::string& error) {
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
  box.window = SDL_CreateWindow(title.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                width, height, SDL_WINDOW_HIDDEN);
  if (box.window == nullptr) return fail(SDL_GetError());
  // The surface first: making it may make the window anew.
  if (SDL_GetWindowSurface(box.window) == nullptr) return fail(SDL_GetError());
  Display* display = PublishText(box.window, text);
  SDL_ShowWindow(box.window);
  SDL_RaiseWindow(box.window);

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

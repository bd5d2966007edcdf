// X11 loaded at run time: zq-check keeps working, and needs no X library,
// on a machine without a display.
#include <dlfcn.h>

#include <cstdlib>

#include "platform/platform.h"

namespace zq {

std::optional<ScreenSize> AskPrimaryScreen() {
  const char* display = std::getenv("DISPLAY");
  if (display == nullptr || *display == '\0') return std::nullopt;
  void* x11 = dlopen("libX11.so.6", RTLD_LAZY | RTLD_LOCAL);
  if (x11 == nullptr) return std::nullopt;
  using Open = void* (*)(const char*);
  using Close = int (*)(void*);
  using Default = int (*)(void*);
  using Size = int (*)(void*, int);
  auto open = reinterpret_cast<Open>(dlsym(x11, "XOpenDisplay"));
  auto close = reinterpret_cast<Close>(dlsym(x11, "XCloseDisplay"));
  auto screenOf = reinterpret_cast<Default>(dlsym(x11, "XDefaultScreen"));
  auto width = reinterpret_cast<Size>(dlsym(x11, "XDisplayWidth"));
  auto height = reinterpret_cast<Size>(dlsym(x11, "XDisplayHeight"));
  std::optional<ScreenSize> size;
  if (open && close && screenOf && width && height) {
    if (void* dpy = open(nullptr)) {
      int screen = screenOf(dpy);
      ScreenSize s{width(dpy, screen), height(dpy, screen)};
      if (s.width > 0 && s.height > 0) size = s;
      close(dpy);
    }
  }
  dlclose(x11);
  return size;
}

}  // namespace zq

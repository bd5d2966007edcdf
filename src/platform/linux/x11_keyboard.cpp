#include "platform/linux/x11_keyboard.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/keysym.h>

#include <cstdlib>

namespace zq {

X11Keyboard::~X11Keyboard() {
  if (display_ != nullptr) XCloseDisplay(display_);
}

bool X11Keyboard::Open(std::string& error) {
  const char* name = std::getenv("DISPLAY");
  display_ = XOpenDisplay(nullptr);
  if (display_ == nullptr) {
    error = name == nullptr || *name == '\0'
                ? "no X display: DISPLAY is not set (the panel needs an X server)"
                : std::string("cannot open the X display \"") + name +
                      "\" (the panel needs a running X server)";
    return false;
  }
  int opcode = 0, event = 0, xkbError = 0, major = XkbMajorVersion, minor = XkbMinorVersion;
  if (XkbQueryExtension(display_, &opcode, &event, &xkbError, &major, &minor)) {
    auto indicator = [this](const char* name) {
      Atom atom = XInternAtom(display_, name, False);
      int index = -1;
      Bool on = False;
      if (!XkbGetNamedIndicator(display_, atom, &index, &on, nullptr, nullptr)) return -1;
      return index;
    };
    numLockIndicator_ = indicator("Num Lock");
    capsLockIndicator_ = indicator("Caps Lock");
    scrollLockIndicator_ = indicator("Scroll Lock");
    // The lamps change rarely: the server tells of each change, and the
    // state is asked for once here instead of on every tick.
    xkbEvent_ = event;
    XkbSelectEventDetails(display_, XkbUseCoreKbd, XkbIndicatorStateNotify, XkbAllIndicatorsMask,
                          XkbAllIndicatorsMask);
    XkbGetIndicatorState(display_, XkbUseCoreKbd, &indicators_);
  }
  // Raw key events reach this connection whoever has the focus or a grab
  // (XInput 2.1 and later), so the keymap is kept from them between two
  // queries instead of asked for on every tick.
  int xiEvent = 0, xiError = 0, xiMajor = 2, xiMinor = 2;
  if (XQueryExtension(display_, "XInputExtension", &xiOpcode_, &xiEvent, &xiError) &&
      XIQueryVersion(display_, &xiMajor, &xiMinor) == Success &&
      (xiMajor > 2 || (xiMajor == 2 && xiMinor >= 1))) {
    unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
    XISetMask(bits, XI_RawKeyPress);
    XISetMask(bits, XI_RawKeyRelease);
    XIEventMask mask{XIAllMasterDevices, static_cast<int>(sizeof bits), bits};
    XISelectEvents(display_, DefaultRootWindow(display_), &mask, 1);
  } else {
    xiOpcode_ = -1;
  }
  // Letters and digits follow the active layout, as their virtual keys do on
  // Windows; the other keys keep their standard positions.
  for (int c = 'A'; c <= 'Z'; ++c) {
    KeyCode k = XKeysymToKeycode(display_, static_cast<KeySym>(XK_a + (c - 'A')));
    if (k != 0) MoveLayoutKey(table_, static_cast<uint8_t>(c), k);
  }
  for (int c = '0'; c <= '9'; ++c) {
    KeyCode k = XKeysymToKeycode(display_, static_cast<KeySym>(XK_0 + (c - '0')));
    if (k != 0) MoveLayoutKey(table_, static_cast<uint8_t>(c), k);
  }
  return true;
}

int X11Keyboard::Fd() const {
  return display_ != nullptr ? ConnectionNumber(display_) : -1;
}

bool X11Keyboard::ReadEvents() {
  return display_ != nullptr && XEventsQueued(display_, QueuedAfterReading) > 0;
}

void X11Keyboard::Refresh(bool readable) {
  if (display_ == nullptr) return;
  // The keymap is asked for at the first refresh (keys already down), then
  // once a second while a key is down: the net for a release that went
  // unheard. While every key is up the events alone are followed, and an
  // idle tick asks the server nothing.
  bool anyDown = !queried_;
  for (uint8_t byte : keymap_) anyDown = anyDown || byte != 0;
  if (xiOpcode_ < 0 || (anyDown && ticksSinceQuery_ >= kKeymapQueryTicks)) {
    queried_ = true;
    // Events queued before the reply are older than the keymap; applying
    // them after it ends on the same state, each being set or clear.
    char keys[32];
    XQueryKeymap(display_, keys);
    for (size_t i = 0; i < 32; ++i) keymap_[i] = static_cast<uint8_t>(keys[i]);
    ticksSinceQuery_ = 0;
    // Events that came with the reply may sit in the connection's own
    // buffer, where poll() no longer sees them.
    readable = true;
  } else {
    ++ticksSinceQuery_;
  }
  // Reads what the server has sent, without waiting for anything.
  if (readable) XEventsQueued(display_, QueuedAfterReading);
  while (XEventsQueued(display_, QueuedAlready) > 0) {
    XEvent ev;
    XNextEvent(display_, &ev);
    if (xkbEvent_ >= 0 && ev.type == xkbEvent_) {
      const auto& xkb = reinterpret_cast<const XkbEvent&>(ev);
      if (xkb.any.xkb_type == XkbIndicatorStateNotify) indicators_ = xkb.indicators.state;
    } else if (ev.type == GenericEvent && ev.xcookie.extension == xiOpcode_ &&
               XGetEventData(display_, &ev.xcookie)) {
      const auto* raw = static_cast<const XIRawEvent*>(ev.xcookie.data);
      if (raw->detail >= 0 && raw->detail < 256) {
        auto byte = static_cast<size_t>(raw->detail / 8);
        auto bit = static_cast<uint8_t>(1u << (raw->detail % 8));
        if (ev.xcookie.evtype == XI_RawKeyPress) keymap_[byte] |= bit;
        if (ev.xcookie.evtype == XI_RawKeyRelease) keymap_[byte] &= static_cast<uint8_t>(~bit);
      }
      XFreeEventData(display_, &ev.xcookie);
    }
    // Anything else (mapping notifications reach every client) is dropped.
  }
  auto lit = [this](int index) { return index >= 0 && ((indicators_ >> index) & 1u) != 0; };
  locks_ = {lit(numLockIndicator_), lit(capsLockIndicator_), lit(scrollLockIndicator_)};
  KeyStatesFromKeymap(keymap_, table_, locks_, states_);
}

int X11Keyboard::VirtualKeyOfKeycode(int keycode) const {
  if (keycode < 0 || keycode > 255) return 0;
  return table_.For(locks_.numLock)[static_cast<size_t>(keycode)].vk;
}

int32_t X11KeyCharMap::VirtualKeyOfChar(unsigned char c) const {
  switch (c) {
    case '*':
      return 106;  // keypad multiply
    case '+':
      return 107;  // keypad add
    default:
      return 0;
  }
}

}  // namespace zq

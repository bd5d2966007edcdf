// zq-probe: shows what to write in Setup.ini. Lists the joysticks with the
// ids zq-thrust gives them, then prints, live, raw axis values, buttons
// pressed, the hat and the virtual-key code of every key that goes down.
#include <SDL.h>
#include <poll.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "app/version.h"
#include "input/sampling.h"
#include "platform/linux/linux_tick_timer.h"
#include "platform/linux/sdl_joystick.h"
#include "platform/linux/x11_keyboard.h"

namespace zq {
namespace {

// An axis is printed again once it has moved this far on the 0..65535 scale
// (about 1.5% of its travel), so a resting stick's noise stays quiet.
constexpr uint32_t kAxisStep = 1000;
constexpr std::array<const char*, 6> kAxisNames = {"X", "Y", "Z", "R", "U", "V"};

void Print(const char* format, auto... args) {
  std::printf(format, args...);
  std::fflush(stdout);
}

void ListJoysticks(const SdlJoysticks& joysticks) {
  auto list = joysticks.Connected();
  if (list.empty()) {
    Print("No joystick found.\n");
    return;
  }
  Print("Joysticks, with the ids zq-thrust gives them when started with the same sticks:\n");
  for (const auto& j : list) {
    Print("  id %d: \"%s\", %d axes, %d buttons, %d hats (guid %s%s%s%s%s)\n", j.id, j.name.c_str(),
          j.axes, j.buttons, j.hats, j.identity.guid.c_str(),
          j.identity.serial.empty() ? "" : ", serial ", j.identity.serial.c_str(),
          j.identity.path.empty() ? "" : ", path ", j.identity.path.c_str());
  }
}

struct StickMemory {
  bool seen = false;
  JoyInfoEx record{};
};

void ReportStick(int id, const JoyInfoEx& now, StickMemory& last) {
  InputSnapshot snapshot;
  snapshot.joyInfo[static_cast<size_t>(id)] = now;
  for (int a = 0; a < 6; ++a) {
    uint32_t v = now.Word(a), before = last.record.Word(a);
    if (last.seen && (v > before ? v - before : before - v) < kAxisStep) continue;
    if (!last.seen && v == 0) continue;  // an axis the stick does not have
    Binding b{id, a};
    Print("joystick %d axis %d (%s): raw %u, reads %d   binding \"%d %d\"\n", id, a,
          kAxisNames[static_cast<size_t>(a)], v, ReadAxis(b, snapshot), id, a);
    last.record.SetWord(a, v);
  }
  uint32_t pressed = now.dwButtons & ~last.record.dwButtons;
  for (int bit = 0; bit < 32; ++bit) {
    if ((pressed >> bit) & 1u) {
      Print("joystick %d button %d down   binding \"%d %d\"\n", id, bit + 1, id, bit + 1);
    }
  }
  last.record.dwButtons = now.dwButtons;
  if (!last.seen || now.dwPOV != last.record.dwPOV) {
    if (last.seen || now.dwPOV != kPovCentered) {
      Print("joystick %d hat: %u%s\n", id, now.dwPOV,
            now.dwPOV == kPovCentered ? " (centred)" : "");
    }
    last.record.dwPOV = now.dwPOV;
  }
  last.seen = true;
}

int RunProbe(int argc, char** argv) {
  double seconds = 0;  // 0: until interrupted
  for (int i = 1; i < argc; ++i) {
    std::string_view a = argv[i];
    if (a == "--seconds" && i + 1 < argc) {
      seconds = std::atof(argv[++i]);
    } else if (a == "--version") {
      Print("zq-probe %s\n", kVersion);
      return 0;
    } else {
      std::fprintf(stderr,
                   "usage: zq-probe [--seconds N] [--version]\n"
                   "Lists the joysticks and prints what they and the keyboard do, with the\n"
                   "binding text to write in Setup.ini. Ctrl+C ends it.\n");
      return a == "--help" || a == "-h" ? 0 : 2;
    }
  }
  std::string error;
  TerminationSignals signals;
  if (!signals.Start(error)) {
    std::fprintf(stderr, "zq-probe: %s\n", error.c_str());
    return 1;
  }
  X11Keyboard keyboard;
  bool haveKeyboard = keyboard.Open(error);
  if (!haveKeyboard) std::fprintf(stderr, "zq-probe: %s; keys are not shown\n", error.c_str());
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  SdlJoysticks joysticks;
  if (!joysticks.Start(error)) {
    std::fprintf(stderr, "zq-probe: %s\n", error.c_str());
    if (!haveKeyboard) return 1;
  }
  ListJoysticks(joysticks);
  Print("Watching%s joysticks (Ctrl+C ends).\n", haveKeyboard ? " keys and" : "");

  TickTimer timer;
  if (!timer.Start(kTickMilliseconds, error)) {
    std::fprintf(stderr, "zq-probe: %s\n", error.c_str());
    return 1;
  }
  if (haveKeyboard) keyboard.Refresh();
  std::array<uint8_t, 32> lastKeys = keyboard.Keymap();
  std::array<StickMemory, kJoystickCount> sticks{};
  std::array<bool, kJoystickCount> connected{};
  for (const auto& j : joysticks.Connected()) connected[static_cast<size_t>(j.id)] = true;
  long ticks = 0,
       maxTicks = seconds > 0 ? static_cast<long>(seconds * 1000 / kTickMilliseconds) : 0;
  while (maxTicks == 0 || ticks < maxTicks) {
    pollfd fds[2] = {{timer.Fd(), POLLIN, 0}, {signals.Fd(), POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) continue;
    if (fds[1].revents != 0 && signals.Consume()) break;
    if (timer.Consume() == 0) continue;
    ++ticks;
    if (haveKeyboard) {
      keyboard.Refresh();
      const auto& keys = keyboard.Keymap();
      for (int keycode = 0; keycode < 256; ++keycode) {
        bool down = (keys[static_cast<size_t>(keycode / 8)] >> (keycode % 8)) & 1;
        bool was = (lastKeys[static_cast<size_t>(keycode / 8)] >> (keycode % 8)) & 1;
        if (!down || was) continue;
        int vk = keyboard.VirtualKeyOfKeycode(keycode);
        if (vk == 0) {
          Print("key down: X keycode %d has no virtual key\n", keycode);
        } else {
          Print("key down: virtual key %d (X keycode %d)   binding \"-1 %d\"\n", vk, keycode, vk);
        }
      }
      lastKeys = keys;
    }
    joysticks.Update();
    std::array<bool, kJoystickCount> now{};
    for (const auto& j : joysticks.Connected()) {
      now[static_cast<size_t>(j.id)] = true;
      if (!connected[static_cast<size_t>(j.id)]) {
        Print("joystick %d plugged in: \"%s\"\n", j.id, j.name.c_str());
        sticks[static_cast<size_t>(j.id)] = {};
      }
    }
    for (int id = 0; id < kJoystickCount; ++id) {
      if (connected[static_cast<size_t>(id)] && !now[static_cast<size_t>(id)]) {
        Print("joystick %d unplugged (it gets id %d again when it comes back)\n", id, id);
      }
      JoyInfoEx record;
      if (now[static_cast<size_t>(id)] && joysticks.Poll(id, record)) {
        ReportStick(id, record, sticks[static_cast<size_t>(id)]);
      }
    }
    connected = now;
  }
  return 0;
}

}  // namespace
}  // namespace zq

int main(int argc, char** argv) {
  return zq::RunProbe(argc, argv);
}

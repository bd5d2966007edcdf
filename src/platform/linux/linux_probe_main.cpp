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
#include "input/key_names.h"
#include "input/probe_report.h"
#include "input/sampling.h"
#include "platform/linux/linux_tick_timer.h"
#include "platform/linux/sdl_joystick.h"
#include "platform/linux/x11_keyboard.h"
#include "probe_args.h"

namespace zq {
namespace {

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
    Print("%s\n", ProbePinLine(j.id, j.pin, j.bluetooth).c_str());
  }
}

constexpr const char* kUsage =
    "usage: zq-probe [--seconds N] [--help] [--version]\n"
    "Lists the joysticks with the ids zq-thrust gives them, then prints what they\n"
    "and the keyboard do, with the binding text to write in Setup.ini: raw axis\n"
    "values, buttons, the hat, and every key or chord (Ctrl+P gives [CTRL]P).\n"
    "Ctrl+C ends it.\n"
    "\n"
    "  --seconds N  stop after N seconds (default: run until Ctrl+C)\n"
    "  --help       show this and exit\n"
    "  --version    show the version and exit\n"
    "Options take their value as '--opt value' or '--opt=value'.\n"
    "\n"
    "Exit status: 0 ended; 1 neither the keyboard nor the joysticks can be read;\n"
    "2 bad usage.\n";

// The chord of a key that goes down: the modifiers held with it.
KeyChord ChordOf(int vk, const X11Keyboard& keyboard, const std::array<uint8_t, 32>& keys) {
  KeyChord chord{vk};
  if (IsModifierKey(vk)) return chord;
  for (int keycode = 0; keycode < 256; ++keycode) {
    if (!((keys[static_cast<size_t>(keycode / 8)] >> (keycode % 8)) & 1)) continue;
    int m = keyboard.VirtualKeyOfKeycode(keycode);
    chord.ctrl = chord.ctrl || m == 17 || m == 162 || m == 163;
    chord.alt = chord.alt || m == 18 || m == 164 || m == 165;
    chord.shift = chord.shift || m == 16 || m == 160 || m == 161;
  }
  return chord;
}

int RunProbe(int argc, char** argv) {
  double seconds = 0;  // 0: until interrupted
  if (std::optional<int> status = tools::ReadProbeArgs(argc, argv, kUsage, seconds)) return *status;
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
          KeyChord chord = ChordOf(vk, keyboard, keys);
          std::string name = ModifierWords(chord) + VirtualKeyName(vk);
          Print("key down: %s (virtual key %d, X keycode %d)   binding %s\n",
                name.empty() ? "?" : name.c_str(), vk, keycode, ChordText(chord).c_str());
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
        for (const std::string& line : StickChanges(id, record, sticks[static_cast<size_t>(id)])) {
          Print("%s\n", line.c_str());
        }
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

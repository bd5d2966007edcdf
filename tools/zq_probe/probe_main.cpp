// zq-probe: shows what to write in Setup.ini. Lists the joysticks with the
// ids the panel gives them, then prints, live, every key or chord that goes
// down, the buttons pressed, axis positions and the hat, each with its
// binding text. Reads the devices as the panel does, once per tick.
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "control/tick_length.h"
#include "input/key_names.h"
#include "input/probe_report.h"
#include "platform/platform.h"
#include "zq_probe/probe_args.h"

namespace zq {
namespace {

constexpr const char* kUsage =
    "usage: zq-probe [--seconds N] [--help] [--version]\n"
    "Lists the joysticks with the ids the panel gives them (0 to 15), then prints\n"
    "what they and the keyboard do, with the binding text to write in Setup.ini:\n"
    "raw axis values, buttons, the hat, and every key or chord (Ctrl+P gives\n"
    "[CTRL]P). Ctrl+C ends it.\n"
    "\n"
    "  --seconds N  stop after N seconds (default: run until Ctrl+C)\n"
    "  --help       show this and exit\n"
    "  --version    show the version and exit\n"
    "Options take their value as '--opt value' or '--opt=value'.\n"
    "\n"
    "Exit status: 0 ended; 1 neither the keyboard nor the joysticks can be read;\n"
    "2 bad usage.\n";

void Print(const std::string& line) {
  std::fputs(line.c_str(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

std::string Quoted(const std::string& name) {
  return "\"" + name + "\"";
}

void ListJoysticks(const std::vector<LiveStick>& sticks) {
  if (sticks.empty()) {
    Print("No joystick answers (ids 0 to 15).");
    return;
  }
  Print("Joysticks, with the ids the panel gives them when started with the same sticks:");
  for (const LiveStick& s : sticks) {
    Print("  id " + std::to_string(s.id) + ": " + Quoted(s.name) + ", " + std::to_string(s.axes) +
          " axes, " + std::to_string(s.buttons) + " buttons, " + std::to_string(s.povs) + " hats" +
          (s.identity.empty() ? "" : " (" + s.identity + ")"));
    Print(ProbePinLine(s.id, s.pin, s.bluetooth));
  }
}

// The keys that went down since `before`, each with its chord and binding.
void ShowKeys(LiveDevices& devices, const KeySet& before, const KeySet& now) {
  for (int vk = 1; vk < 256; ++vk) {
    if (!now.Contains(vk) || before.Contains(vk) || !IsShownKey(vk)) continue;
    KeyChord chord = ChordHeld(vk, now);
    std::string name = ModifierWords(chord) + VirtualKeyName(vk);
    std::string detail = devices.KeyDetail(vk);
    Print("key down: " + (name.empty() ? std::string("?") : name) + " (virtual key " +
          std::to_string(vk) + (detail.empty() ? "" : ", " + detail) + ")   binding " +
          ChordText(chord));
  }
}

int RunProbe(int argc, char** argv) {
  double seconds = 0;  // 0: until stopped
  if (std::optional<int> status = tools::ReadProbeArgs(argc, argv, kUsage, seconds)) return *status;
  if (!InstallStopSignals()) {
    std::fprintf(stderr, "zq-probe: Ctrl+C cannot be caught here; --seconds ends it\n");
  }
  std::unique_ptr<LiveDevices> devices = MakeLiveDevices();
  LiveDevices::Opened opened = devices->Open();
  for (const std::string& problem : opened.problems) {
    std::fprintf(stderr, "zq-probe: %s\n", problem.c_str());
  }
  if (!opened.keys && !opened.sticks) return 1;
  devices->Refresh();
  ListJoysticks(devices->Sticks());
  Print(std::string("Watching ") + (opened.keys ? "keys and " : "") + "joysticks (Ctrl+C ends).");

  std::array<StickMemory, kJoystickCount> memory{};
  KeySet keys = devices->KeysDown();
  std::vector<std::string> unnamed = devices->UnnamedKeysDown();
  using Clock = std::chrono::steady_clock;
  const auto tick = std::chrono::milliseconds(kTickMs);
  const Clock::time_point start = Clock::now();
  const auto limit =
      std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
  Clock::time_point due = start;
  while (!StopRequested()) {
    due += tick;
    Clock::time_point now = Clock::now();
    if (due < now) due = now;  // a late tick is not made up for
    if (seconds > 0 && due - start > limit) break;
    std::this_thread::sleep_until(due);
    if (StopRequested()) break;

    devices->Refresh();
    KeySet down = devices->KeysDown();
    ShowKeys(*devices, keys, down);
    keys = down;
    std::vector<std::string> unnamedNow = devices->UnnamedKeysDown();
    for (const std::string& key : unnamedNow) {
      if (std::find(unnamed.begin(), unnamed.end(), key) == unnamed.end()) {
        Print("key down: " + key + " has no virtual key");
      }
    }
    unnamed = std::move(unnamedNow);
    for (const StickChange& change : devices->Changes()) {
      memory[static_cast<size_t>(change.id)] = {};
      Print("joystick " + std::to_string(change.id) +
            (change.attached ? " plugged in: " + Quoted(change.name) : std::string(" unplugged")));
    }
    for (const LiveStick& s : devices->Sticks()) {
      JoyInfoEx record{};
      record.dwSize = sizeof record;
      record.dwFlags = kJoyReturnAll;
      if (!devices->PollJoystick(s.id, record)) continue;
      for (const std::string& line :
           StickChanges(s.id, record, memory[static_cast<size_t>(s.id)])) {
        Print(line);
      }
    }
  }
  return 0;
}

}  // namespace
}  // namespace zq

int main(int argc, char** argv) {
  return zq::RunProbe(argc, argv);
}

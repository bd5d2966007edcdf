// zq-probe.exe: shows what to write in Setup.ini on Windows. Lists the
// joysticks that answer joyGetPosEx (ids 0 to 15), then prints, live, raw
// axis values, buttons, the hat and every key or chord that goes down
// (GetAsyncKeyState), each with its binding text.
#include <windows.h>
// after windows.h, which it needs
#include <mmsystem.h>

#include <array>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "app/version.h"
#include "control/tick_length.h"
#include "input/key_names.h"
#include "input/probe_report.h"
#include "platform/win32/win32_input.h"
#include "platform/win32/win32_stick_identity.h"
#include "probe_args.h"

namespace zq {
namespace {

constexpr const char* kUsage =
    "usage: zq-probe [--seconds N] [--help] [--version]\n"
    "Lists the joysticks with their ids (0 to 15, as the panel reads them), then\n"
    "prints what they and the keyboard do, with the binding text to write in\n"
    "Setup.ini: raw axis values, buttons, the hat, and every key or chord\n"
    "(Ctrl+P gives [CTRL]P). Ctrl+C ends it.\n"
    "\n"
    "  --seconds N  stop after N seconds (default: run until Ctrl+C)\n"
    "  --help, /?   show this and exit\n"
    "  --version    show the version and exit\n"
    "Options take their value as '--opt value' or '--opt=value'.\n"
    "\n"
    "Exit status: 0 ended; 1 neither the keyboard nor the joysticks can be read;\n"
    "2 bad usage.\n";

constexpr DWORD kPollMilliseconds = kTickMs;  // the panel's tick

std::atomic<bool> stopRequested{false};

BOOL WINAPI OnConsoleStop(DWORD) {
  stopRequested = true;
  return TRUE;
}

void Print(const std::string& line) {
  std::fputs(line.c_str(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

bool Down(int vk) {
  return (GetAsyncKeyState(vk) & 0x8000) != 0;
}

// Mouse buttons and the left and right twins of Ctrl, Alt and Shift (the
// generic key is named instead) are not shown.
bool Shown(int vk) {
  return vk >= 8 && !(vk >= 160 && vk <= 165);
}

std::array<bool, kJoystickCount> ListJoysticks(Win32InputDevices& devices) {
  std::array<bool, kJoystickCount> answers{};
  int count = 0;
  for (int id = 0; id < kJoystickCount; ++id) {
    JoyInfoEx record{};
    record.dwSize = sizeof(JoyInfoEx);
    record.dwFlags = kJoyReturnAll;
    if (!devices.PollJoystick(id, record)) continue;
    answers[static_cast<size_t>(id)] = true;
    JOYCAPSA caps{};
    std::string what = "  id " + std::to_string(id);
    if (joyGetDevCapsA(static_cast<UINT>(id), &caps, sizeof caps) == JOYERR_NOERROR) {
      what += ": \"" + std::string(caps.szPname) + "\", " + std::to_string(caps.wNumAxes) +
              " axes, " + std::to_string(caps.wNumButtons) + " buttons";
    }
    if (count++ == 0) Print("Joysticks that answer, with their ids:");
    Print(what);
    Print(ProbePinLine(id, Win32StickIdentity(id)));
  }
  if (count == 0) Print("No joystick answers (ids 0 to 15).");
  return answers;
}

int RunProbe(int argc, char** argv) {
  double seconds = 0;  // 0: until Ctrl+C
  if (std::optional<int> status = tools::ReadProbeArgs(argc, argv, kUsage, seconds)) return *status;
  SetConsoleCtrlHandler(OnConsoleStop, TRUE);
  Win32InputDevices devices;
  std::array<bool, kJoystickCount> answered = ListJoysticks(devices);
  Print("Watching keys and joysticks (Ctrl+C ends).");

  std::array<bool, 256> wasDown{};
  for (int vk = 1; vk < 256; ++vk) wasDown[static_cast<size_t>(vk)] = Down(vk);
  std::array<StickMemory, kJoystickCount> sticks{};
  const ULONGLONG start = GetTickCount64();
  while (!stopRequested) {
    if (seconds > 0 && static_cast<double>(GetTickCount64() - start) >= seconds * 1000) break;
    Sleep(kPollMilliseconds);
    for (int vk = 1; vk < 256; ++vk) {
      bool down = Down(vk);
      bool was = wasDown[static_cast<size_t>(vk)];
      wasDown[static_cast<size_t>(vk)] = down;
      if (!down || was || !Shown(vk)) continue;
      KeyChord chord{vk};
      if (!IsModifierKey(vk)) {
        chord.ctrl = Down(VK_CONTROL);
        chord.alt = Down(VK_MENU);
        chord.shift = Down(VK_SHIFT);
      }
      std::string name = ModifierWords(chord) + VirtualKeyName(vk);
      Print("key down: " + (name.empty() ? std::string("?") : name) + " (virtual key " +
            std::to_string(vk) + ")   binding " + ChordText(chord));
    }
    for (int id = 0; id < kJoystickCount; ++id) {
      JoyInfoEx record{};
      record.dwSize = sizeof(JoyInfoEx);
      record.dwFlags = kJoyReturnAll;
      bool answers = devices.PollJoystick(id, record);
      bool before = answered[static_cast<size_t>(id)];
      answered[static_cast<size_t>(id)] = answers;
      if (answers && !before) Print("joystick " + std::to_string(id) + " plugged in");
      if (!answers && before) Print("joystick " + std::to_string(id) + " unplugged");
      if (!answers) {
        sticks[static_cast<size_t>(id)] = {};
        continue;
      }
      for (const std::string& line : StickChanges(id, record, sticks[static_cast<size_t>(id)])) {
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

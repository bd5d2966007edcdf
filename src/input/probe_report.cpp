#include "input/probe_report.h"

#include <array>

#include "input/joyinfo.h"

namespace zq {
namespace {

// An axis is printed again once it has moved this far on the 0..65535 scale
// (about 1.5% of its travel), so a resting stick's noise stays quiet.
constexpr uint32_t kAxisStep = 1000;

std::string Binding2(int id, int code) {
  return "binding \"" + std::to_string(id) + " " + std::to_string(code) + "\"";
}

}  // namespace

std::vector<std::string> StickChanges(int id, const JoyInfoEx& now, StickMemory& last) {
  std::vector<std::string> lines;
  const std::string stick = "joystick " + std::to_string(id);
  InputSnapshot snapshot;
  snapshot.joyInfo[static_cast<size_t>(id)] = now;
  for (int a = 0; a < 6; ++a) {
    uint32_t v = now.Word(a), before = last.record.Word(a);
    if (last.seen && (v > before ? v - before : before - v) < kAxisStep) continue;
    if (!last.seen && v == 0) continue;  // an axis the stick does not have
    Binding b{id, a};
    lines.push_back(stick + " axis " + std::to_string(a) + " (" +
                    kAxisLetters[static_cast<size_t>(a)] + "): raw " + std::to_string(v) +
                    ", reads " + std::to_string(ReadAxis(b, snapshot)) + "   " + Binding2(id, a));
    last.record.SetWord(a, v);
  }
  uint32_t pressed = now.dwButtons & ~last.record.dwButtons;
  for (int bit = 0; bit < 32; ++bit) {
    if ((pressed >> bit) & 1u) {
      lines.push_back(stick + " button " + std::to_string(bit + 1) + " down   " +
                      Binding2(id, bit + 1));
    }
  }
  last.record.dwButtons = now.dwButtons;
  if (!last.seen || now.dwPOV != last.record.dwPOV) {
    if (last.seen || now.dwPOV != kPovCentered) {
      lines.push_back(stick + " hat: " + std::to_string(now.dwPOV) +
                      (now.dwPOV == kPovCentered ? " (centred)" : ""));
    }
    last.record.dwPOV = now.dwPOV;
  }
  last.seen = true;
  return lines;
}

std::string ProbePinLine(int id, const StickIdentity& device, bool bluetooth) {
  if (!device.HasIds()) {
    return "    (the system gives no VID:PID for this stick: it cannot be pinned in [sticks])";
  }
  std::string line = "    [sticks] " + std::to_string(id) + "=" + PinLineFor(device);
  if (device.serial.Empty() && device.path.Empty() && device.guid.Empty()) {
    line += bluetooth ? "  (Bluetooth: no port path and no serial, so only its name tells it: "
                        "a twin cannot be told apart)"
                      : "  (no serial and no port path: a twin cannot be told apart)";
  } else if (bluetooth && device.serial.Empty()) {
    line += "  (Bluetooth: no port path)";
  } else if (device.serial.Empty() && !device.path.Empty()) {
    line += "  (no serial: pinned to this USB port)";
  }
  return line;
}

}  // namespace zq

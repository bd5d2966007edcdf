// The test kit's fakes: devices, windows, senders and reports that unit
// tests, fuzz targets, the soak, the limits and the bench set and read
// directly. A promise of the code under test that a fake sees broken (a key
// code outside 0..255, an empty error text) stops the run like a crash, so a
// fuzzer keeps the input and a test fails.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/error_report.h"
#include "app/window_view.h"
#include "control/datagram_sender.h"
#include "input/input_devices.h"

namespace zq::test {

[[noreturn]] void Broken(const char* what, const char* file, int line);
#define ZQ_KIT_CHECK(cond) ((cond) ? (void)0 : ::zq::test::Broken(#cond, __FILE__, __LINE__))

// A small deterministic generator (splitmix64): the same everywhere.
class Mixer {
 public:
  explicit Mixer(uint64_t seed) : state_(seed) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15u);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
    return z ^ (z >> 31);
  }
  uint32_t Below(uint32_t n) { return static_cast<uint32_t>(Next() % n); }
  bool Chance(uint32_t percent) { return Below(100) < percent; }

 private:
  uint64_t state_;
};

uint64_t HashBytes(std::string_view bytes);  // FNV-1a: a seed from an input

// Values at the edges of the joystick words: centre, ends, and the words
// that only buttons, the POV and the reserved fields ever hold.
constexpr std::array<uint32_t, 12> kEdgeWords = {0,          1,          32767,      32768,
                                                 65534,      65535,      65536,      0x7FFFFFFF,
                                                 0x80000000, 0xFFFFFFFE, 0xFFFFFFFF, 0x0001FFFF};

class FakeDevices : public InputDevices {
 public:
  std::array<uint8_t, 256> keys{};
  std::array<JoyInfoEx, 16> sticks{};
  std::array<bool, 16> plugged{};
  bool recordPolls = true;  // off where ticks run by the million
  std::vector<int> keyPolls;
  std::vector<int> joyPolls;

  // What each plugged stick tells of itself; set `sticksChanged` after a change.
  std::array<StickIdentity, 16> identity{};
  bool sticksChanged = false;

  uint8_t KeyState(int vk) override;
  bool PollJoystick(int id, JoyInfoEx& record) override;
  int ListSticks(std::span<PresentStick> out) override;
  bool SticksChanged() override {
    const bool changed = sticksChanged;
    sticksChanged = false;
    return changed;
  }

  // Plugs stick `id` in and sets one word or one button of it.
  void Axis(int id, int word, uint32_t v);
  void Button(int id, int n, bool down);
  // Every stick plugged in with every word at `v`.
  void AllWords(uint32_t v);
  // Random key bytes (mostly up, down, toggled), words at the edges or
  // anywhere, plugging and unplugging.
  void Shake(Mixer& mix);
};

// Records every call as a line, e.g. "text xp 60", "color ty 255,255,0".
class RecordingView : public WindowView {
 public:
  std::vector<std::string> calls;
  void SetText(Label l, std::string_view t) override;
  void SetFontColor(Label l, Rgb c) override;
  void SetBackground(Label l, Rgb c) override;
  void RepaintP() override { calls.push_back("repaint"); }
  void Place(const Placement& p) override;
};

// Takes everything and keeps nothing (allocates nothing either).
class NullView : public WindowView {
 public:
  void SetText(Label, std::string_view) override {}
  void SetFontColor(Label, Rgb) override {}
  void SetBackground(Label, Rgb) override {}
  void RepaintP() override {}
  void Place(const Placement&) override {}
};

// Keeps the last text of every label, starting from the design's.
class LabelView : public NullView {
 public:
  LabelView();
  std::array<std::string, kLabelCount> text;
  const std::string& Text(Label l) const { return text[static_cast<size_t>(l)]; }
  void SetText(Label l, std::string_view t) override;
};

class RecordingSender : public DatagramSender {
 public:
  int sends = 0;
  std::string last;
  SendResult lastResult{};
  bool keepAll = true;  // off where ticks run by the million
  std::vector<std::string> sent;
  std::vector<SendResult> failures;  // consumed one per send, front first
  SendResult Send(const char* data, size_t size) override;
  // The next send (and only that) ends as `r`.
  void Next(SendResult r) { failures.assign(1, r); }
};

class CountingReport : public ErrorReport {
 public:
  int reports = 0;
  void ReportError(std::string_view text) override {
    ZQ_KIT_CHECK(!text.empty());
    ++reports;
  }
};

}  // namespace zq::test

// What the fuzz targets share: devices driven by a seed, a window and a
// sender that only check what reaches them, and the checks themselves.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "app/error_report.h"
#include "app/window_view.h"
#include "control/command_message.h"
#include "control/datagram_sender.h"
#include "input/input_devices.h"

namespace zq::fuzz {

// A broken invariant is a finding: say which and stop like a crash, so that
// libFuzzer keeps the input.
[[noreturn]] inline void Fail(const char* what, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: invariant broken: %s\n", file, line, what);
  std::abort();
}
#define ZQ_FUZZ_CHECK(cond) ((cond) ? (void)0 : ::zq::fuzz::Fail(#cond, __FILE__, __LINE__))

// A small deterministic generator (splitmix64), seeded from the input.
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

 private:
  uint64_t state_;
};

inline uint64_t HashBytes(std::string_view bytes) {
  uint64_t h = 1469598103934665603u;  // FNV-1a
  for (char c : bytes) h = (h ^ static_cast<unsigned char>(c)) * 1099511628211u;
  return h;
}

// Values at the edges of the joystick words: centre, ends, and the words
// that only buttons, the POV and the reserved fields ever hold.
constexpr std::array<uint32_t, 12> kEdgeWords = {0,          1,          32767,      32768,
                                                 65534,      65535,      65536,      0x7FFFFFFF,
                                                 0x80000000, 0xFFFFFFFE, 0xFFFFFFFF, 0x0001FFFF};

class FuzzDevices : public InputDevices {
 public:
  std::array<uint8_t, 256> keys{};
  std::array<std::array<uint32_t, 11>, 16> words{};
  std::array<bool, 16> plugged{};

  uint8_t KeyState(int vk) override {
    ZQ_FUZZ_CHECK(vk >= 0 && vk <= 255);
    return keys[static_cast<size_t>(vk)];
  }
  bool PollJoystick(int id, JoyInfoEx& record) override {
    ZQ_FUZZ_CHECK(id >= 0 && id < 16);
    if (!plugged[static_cast<size_t>(id)]) return false;
    for (int w = 0; w < JoyInfoEx::kWords; ++w) {
      record.SetWord(w, words[static_cast<size_t>(id)][static_cast<size_t>(w)]);
    }
    return true;
  }
  // Random key bytes (mostly up, down, toggled), words at the edges or
  // anywhere, plugging and unplugging.
  void Shake(Mixer& mix) {
    static constexpr uint8_t kStates[] = {0, 0, 1, 128, 129, 128, 2, 255};
    for (uint8_t& k : keys) k = kStates[mix.Below(8)];
    for (size_t id = 0; id < 16; ++id) {
      if (mix.Below(8) == 0) plugged[id] = !plugged[id];
      for (uint32_t& w : words[id]) {
        uint32_t pick = mix.Below(4);
        if (pick == 0) w = kEdgeWords[mix.Below(kEdgeWords.size())];
        if (pick == 1) w = static_cast<uint32_t>(mix.Next());
        if (pick == 2) w = mix.Below(65536);
      }
    }
  }
};

class NullView : public WindowView {
 public:
  void SetText(Label, std::string_view text) override { ZQ_FUZZ_CHECK(text.size() < 64); }
  void SetFontColor(Label, Rgb) override {}
  void SetBackground(Label, Rgb) override {}
  void RepaintP() override {}
  void Place(const Placement&) override {}
};

// "R" then segments "/" two digits "\" value, the value being digits with an
// optional leading '-' and an optional '.' followed by digits.
inline bool IsMessageGrammar(std::string_view m) {
  auto digit = [&](size_t i) { return i < m.size() && m[i] >= '0' && m[i] <= '9'; };
  if (m.size() < 2 || m[0] != 'R') return false;
  size_t i = 1;
  while (i < m.size()) {
    if (m[i] != '/' || !digit(i + 1) || !digit(i + 2) || i + 3 >= m.size() || m[i + 3] != '\\')
      return false;
    i += 4;
    if (i < m.size() && m[i] == '-') ++i;
    if (!digit(i)) return false;
    while (digit(i)) ++i;
    if (i < m.size() && m[i] == '.') {
      if (!digit(++i)) return false;
      while (digit(i)) ++i;
    }
  }
  return true;
}

// Checks every message and fails the sends a seed asks for.
class CheckingSender : public DatagramSender {
 public:
  int sends = 0;
  SendResult next{};
  SendResult Send(const char* data, size_t size) override {
    std::string_view m(data, size);
    ZQ_FUZZ_CHECK(size <= kBodyCapacity + 1);
    ZQ_FUZZ_CHECK(IsMessageGrammar(m));
    ++sends;
    SendResult r = next;
    next = {};
    return r;
  }
};

class CountingReport : public ErrorReport {
 public:
  int reports = 0;
  void ReportError(std::string_view text) override {
    ZQ_FUZZ_CHECK(!text.empty());
    ++reports;
  }
};

}  // namespace zq::fuzz

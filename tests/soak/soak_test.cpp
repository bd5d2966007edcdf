// Soak: a million random ticks through the panel's logic (TForm1 with fake
// devices) under random Setup.ini-like settings, with random key bytes,
// joystick words, plugging, unplugging and failed sends. After every tick
// the control state must be within its ranges and the datagram (if any) must
// be one well-formed message carrying exactly what changed; after every
// quiet stretch the simulator, rebuilt from the datagrams that got through,
// must hold what the panel shows.
//
// ZQ_SOAK_TICKS sets the total number of ticks (default 1000000); the
// sanitizer build runs fewer, as a million ticks there take minutes.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/form_design.h"
#include "app/form_shell.h"
#include "config/settings_file.h"
#include "control/command_message.h"
#include "control/curve_math.h"
#include "kit/fakes.h"
#include "kit/invariants.h"

namespace zq {
namespace {

using namespace test;

uint64_t TotalTicks() {
  const char* env = std::getenv("ZQ_SOAK_TICKS");
  if (env == nullptr || *env == 0) return 1000000;
  return std::strtoull(env, nullptr, 10);
}

// ---------------------------------------------------------------- settings

std::string RandomCurve(Mixer& rng) {
  std::string t;
  int points = 1 + static_cast<int>(rng.Below(12));
  for (int i = 0; i < points; ++i) {
    if (i > 0) t += ' ';
    uint32_t kind = rng.Below(10);
    int64_t v = kind < 7   ? int64_t{rng.Below(201)} - 50
                : kind < 9 ? int64_t{rng.Below(2001)} - 1000
                           : static_cast<int32_t>(rng.Next());  // far beyond 32-bit products
    t += std::to_string(v);
  }
  if (rng.Below(25) == 0) t += " word";
  return t;
}

std::string RandomBinding(Mixer& rng, SlotTest test) {
  static constexpr int kKeys[] = {65, 66, 67, 68, 69, 70, 16, 17, 18, 13, 27, 144, 192, 73, 0, 300};
  static constexpr int kButtons[] = {0, 1, 2, 3, 4, 5, 32, 33};
  if (test == SlotTest::axis) {
    int device = rng.Below(8) == 0 ? -1 : static_cast<int>(rng.Below(3));
    int word =
        rng.Below(5) != 0 ? static_cast<int>(rng.Below(6)) : 6 + static_cast<int>(rng.Below(6));
    return std::to_string(device) + " " + std::to_string(word);
  }
  uint32_t form = rng.Below(100);
  if (form < 45) return "-1 " + std::to_string(kKeys[rng.Below(16)]);
  if (form < 60) {
    std::string t;
    if (rng.Below(4) == 0) t += "[CTRL]";
    if (rng.Below(4) == 0) t += "[alt]";
    if (rng.Below(5) == 0) t += "[Shift]";
    return t + "abcdef`"[rng.Below(7)];
  }
  int device =
      rng.Below(12) == 0 ? 16 + static_cast<int>(rng.Below(3)) : static_cast<int>(rng.Below(3));
  return std::to_string(device) + " " + std::to_string(kButtons[rng.Below(8)]);
}

// A Setup.ini as players write them, odd values included. With `breakLoad`
// one binding is malformed, so the load ends there.
std::string RandomSetup(Mixer& rng, bool breakLoad) {
  std::string ini = "[main]\n";
  int broken = breakLoad ? static_cast<int>(rng.Below(kSlotCount)) : -1;
  for (int s = 0; s < kSlotCount; ++s) {
    const SlotInfo& slot = kSlotTable[static_cast<size_t>(s)];
    uint32_t form = rng.Below(100);
    if (s != broken && form < 8) continue;  // the default
    ini += std::string(slot.key) + "=";
    if (s == broken) {
      ini += "7 x";
    } else if (form >= 12) {  // otherwise empty: unbound
      ini += RandomBinding(rng, slot.test);
    }
    ini += '\n';
  }
  ini += "Y=" + RandomCurve(rng) + "\n";
  for (int k = 1; k <= 9; ++k) {
    if (rng.Below(3) == 0) ini += "Y" + std::to_string(k) + "=" + RandomCurve(rng) + "\n";
  }
  for (const char* key : {"TrimY", "TrimX", "TrimZ", "X", "Z"}) {
    if (rng.Below(6) != 0) ini += std::string(key) + "=" + RandomCurve(rng) + "\n";
  }
  for (char axis : {'X', 'Z'}) {
    for (int k = 1; k <= 9; ++k) {
      if (rng.Below(4) == 0) ini += axis + std::to_string(k) + "=" + RandomCurve(rng) + "\n";
    }
  }
  int64_t startTrim =
      rng.Below(4) == 0 ? static_cast<int32_t>(rng.Next()) : int64_t{rng.Below(401)} - 200;
  ini += "starttrim=" + std::to_string(startTrim) + "\n";
  ini += "startflaps=" + std::to_string(static_cast<int>(rng.Below(9)) - 3) + "\n";
  return ini;
}

// ------------------------------------------------------- message values

int64_t ThrottleHundredths(int32_t throttle) {
  return std::lround((throttle / 55.0 - 1.0) * 100.0);  // never a tie for 0..110
}

std::string Short(int32_t hundredths) {
  FixedText<32> t;
  AppendShortDecimal(t, hundredths);
  return std::string(t.View());
}

std::string_view TrimRight(std::string_view s) {
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

// ------------------------------------------------------------- the soak

struct Totals {
  uint64_t ticks = 0, datagrams = 0, failedSends = 0, quietChecks = 0;
};

class Soak {
 public:
  Soak(std::string_view setup, uint64_t seed) : rng_(seed) {
    dev_.recordPolls = false;
    udp_.keepAll = false;
    CreateForm(form_, ProfileTextSettings(setup), NoKeyCharMap(), {1920, 1080}, report_);
    reportsAfterLoad_ = report_.reports;
    form_.State().watchedKeys.ForEach([&](int vk) { keyPool_.push_back(vk); });
    for (int id = 0; id < 16; ++id) {
      if (form_.State().joyUsed.Contains(id)) stickPool_.push_back(id);
    }
    stickPool_.push_back(static_cast<int>(rng_.Below(16)));   // and one that may be unused
    sim_ = {"-1.00", "0", "0", "0", "0", "0", "0", "-1.00"};  // the start state, never announced
  }

  // Runs `ticks` ticks in stretches of random input, each followed by a
  // quiet stretch; returns the first broken invariant, or "".
  std::string Run(uint64_t ticks, Totals& totals) {
    while (totals_.ticks < ticks) {
      uint64_t active = 1 + rng_.Below(300);
      for (uint64_t i = 0; i < active && totals_.ticks < ticks; ++i) {
        Shake();
        if (!Tick()) return Where();
      }
      if (!Quiet()) return Where();
    }
    totals.ticks += totals_.ticks;
    totals.datagrams += totals_.datagrams;
    totals.failedSends += totals_.failedSends;
    totals.quietChecks += totals_.quietChecks;
    return "";
  }
  int LoadReports() const { return reportsAfterLoad_; }

 private:
  std::string Where() const {
    return broken_ + " (after " + std::to_string(totals_.ticks) + " ticks; last message '" +
           udp_.last + "')";
  }
  bool Fail(std::string what) {
    broken_ = std::move(what);
    return false;
  }

  void Shake() {
    static constexpr uint8_t kStates[] = {0, 1, 128, 129};
    static constexpr uint32_t kEdges[] = {0,     1,     32767,       65534,
                                          65535, 65536, 0x80000000u, 0xFFFFFFFFu};
    static constexpr int kBits[] = {0, 1, 2, 3, 4, 31};
    if (rng_.Chance(30)) {
      keys_[keyPool_[rng_.Below(static_cast<uint32_t>(keyPool_.size()))]] = kStates[rng_.Below(4)];
    }
    int stick = stickPool_[rng_.Below(static_cast<uint32_t>(stickPool_.size()))];
    JoyInfoEx& words = dev_.sticks[static_cast<size_t>(stick)];
    if (rng_.Chance(25)) {
      int word = rng_.Below(10) != 0 ? static_cast<int>(rng_.Below(6))
                                     : 7 + static_cast<int>(rng_.Below(4));
      uint32_t kind = rng_.Below(10);
      words.SetWord(word, kind < 8   ? rng_.Below(65536)
                          : kind < 9 ? kEdges[rng_.Below(8)]
                                     : static_cast<uint32_t>(rng_.Next()));
    }
    if (rng_.Chance(20)) {
      int bit = rng_.Below(3) != 0 ? kBits[rng_.Below(6)] : static_cast<int>(rng_.Below(32));
      words.dwButtons ^= uint32_t{1} << bit;
    }
    if (rng_.Below(200) == 0) {
      bool& plugged = dev_.plugged[static_cast<size_t>(stick)];
      plugged = !plugged;
    }
    if (failBurst_ == 0 && rng_.Below(400) == 0) failBurst_ = 1 + rng_.Below(20);
    if (failBurst_ > 0 || rng_.Chance(5)) {
      if (failBurst_ > 0) --failBurst_;
      static constexpr SendResult kFailures[] = {{SendResult::Kind::sendFailed, 10054},
                                                 {SendResult::Kind::sendFailed, 10040},
                                                 {SendResult::Kind::sendFailed, 12345},
                                                 {SendResult::Kind::shortSend, 0},
                                                 {SendResult::Kind::noSocket, 0}};
      udp_.Next(kFailures[rng_.Below(5)]);
    } else {
      udp_.failures.clear();
    }
    for (int vk : keyPool_) dev_.keys[static_cast<size_t>(vk)] = keys_[static_cast<size_t>(vk)];
  }

  // Releases every key and button and lets the sends through until nothing
  // more goes out; then the simulator must hold what the panel shows.
  bool Quiet() {
    keys_.fill(0);
    keys_[144] = static_cast<uint8_t>(rng_.Below(2));  // Num Lock may stay toggled
    for (int vk : keyPool_) dev_.keys[static_cast<size_t>(vk)] = keys_[static_cast<size_t>(vk)];
    for (JoyInfoEx& stick : dev_.sticks) stick.dwButtons = 0;
    int silent = 0;
    for (int i = 0; i < 200 && silent < 3; ++i) {
      udp_.failures.clear();
      int before = udp_.sends;
      if (!Tick()) return false;
      silent = udp_.sends == before ? silent + 1 : 0;
    }
    if (silent < 3) return Fail("still sending after 200 quiet ticks");
    ++totals_.quietChecks;
    return CheckSimulator();
  }

  bool Tick() {
    const ControlState prev = form_.State().control;
    int sendsBefore = udp_.sends;
    int reportsBefore = report_.reports;
    RunTick(form_, report_);
    ++totals_.ticks;
    const ControlState& c = form_.State().control;
    if (std::string why = StateInvariants(c, form_.Bank()); !why.empty()) return Fail(why);
    if (std::string why = TickInvariants(prev, c); !why.empty()) return Fail(why);

    // Which channels had to go out: a changed value, a routing switch (all
    // three trims), or a repeat of what a failed send carried.
    bool routeChanged = c.useTrim != prev.useTrim || c.useYTrim != prev.useYTrim;
    std::array<bool, 8> changed = {
        c.throttle != prev.sentThrottle,
        c.sentY != prev.sentY,
        c.sentX != prev.sentX,
        c.sentZ != prev.sentZ,
        c.trimYTotal != prev.trimYTotal || routeChanged,
        c.trimXTotal != prev.trimXTotal || routeChanged,
        c.trimZTotal != prev.trimZTotal || routeChanged,
        c.flaps != prev.sentFlaps,
    };
    uint8_t required = pending_;
    for (size_t k = 0; k < 8; ++k) {
      if (changed[k]) required = static_cast<uint8_t>(required | (1u << k));
    }

    int sends = udp_.sends - sendsBefore;
    if (sends > 1) return Fail("more than one datagram in a tick");
    if (sends == 0) {
      if (required != 0) return Fail("a change or a repeat was not sent");
      if (report_.reports != reportsBefore) return Fail("an error without a send");
      return true;
    }
    ++totals_.datagrams;
    std::string why;
    if (!SplitMessage(udp_.last, segments_, why)) return Fail("malformed message: " + why);
    uint8_t carried = 0;
    for (const Segment& s : segments_) {
      carried = static_cast<uint8_t>(carried | (1u << s.order));
      if (!ValueMatches(s, c)) return Fail("segment value does not match the state");
    }
    if (carried != required) return Fail("the message carries more or less than what changed");

    bool ok = udp_.lastResult.Ok();
    if (report_.reports != reportsBefore + (ok ? 0 : 1))
      return Fail("failed send not reported once");
    if (ok) {
      for (const Segment& s : segments_) sim_[static_cast<size_t>(s.order)].assign(s.value);
      pending_ = 0;
    } else {
      ++totals_.failedSends;
      pending_ = carried;
    }
    return true;
  }

  bool ValueMatches(const Segment& s, const ControlState& c) const {
    switch (s.order) {
      case 0:
        return ReadTwoDecimal(s.value) == ThrottleHundredths(c.throttle);
      case 1:
        return ReadShortDecimal(s.value) == c.sentY;
      case 2:
        return ReadShortDecimal(s.value) == c.sentX;
      case 3:
        return ReadShortDecimal(s.value) == c.sentZ;
      case 4:
        return c.useYTrim ? ReadShortDecimal(s.value) == c.trimYTotal : s.value == "0";
      case 5:
        return c.useTrim ? ReadShortDecimal(s.value) == c.trimXTotal : s.value == "0";
      case 6:
        return c.useTrim ? ReadShortDecimal(s.value) == c.trimZTotal : s.value == "0";
      default:
        return s.value == kFlapTable[static_cast<size_t>(c.flaps)].command;
    }
  }

  bool CheckSimulator() {
    const ControlState& c = form_.State().control;
    auto routed = [](bool apart, int32_t total) { return apart ? Short(total) : std::string("0"); };
    const std::array<std::string, 8> expected = {
        std::string(ThrottleText(c.throttle).View()),
        Short(c.useYTrim ? c.axisY : TrimMix(c.axisY, c.trimYTotal)),
        Short(c.useTrim ? c.axisX : TrimMix(c.axisX, c.trimXTotal)),
        Short(c.useTrim ? c.axisZ : TrimMix(c.axisZ, c.trimZTotal)),
        routed(c.useYTrim, c.trimYTotal),
        routed(c.useTrim, c.trimXTotal),
        routed(c.useTrim, c.trimZTotal),
        std::string(kFlapTable[static_cast<size_t>(c.flaps)].command),
    };
    for (size_t k = 0; k < 8; ++k) {
      if (sim_[k] != expected[k]) {
        return Fail("the simulator holds '" + sim_[k] + "' on channel " +
                    std::to_string(kChannelOrder[k]) + ", the panel '" + expected[k] + "'");
      }
    }
    // the labels that always follow their value
    const auto& text = view_.text;
    if (text[static_cast<size_t>(Label::ty)] != std::to_string(c.trimYTotal) ||
        text[static_cast<size_t>(Label::tx)] != std::to_string(c.trimXTotal) ||
        text[static_cast<size_t>(Label::tz)] != std::to_string(c.trimZTotal))
      return Fail("a trim label differs from its total");
    if (TrimRight(text[static_cast<size_t>(Label::f)]) !=
        TrimRight(kFlapTable[static_cast<size_t>(c.flaps)].text))
      return Fail("label f differs from the flap position");
    return true;
  }

  Mixer rng_;
  FakeDevices dev_;
  LabelView view_;
  RecordingSender udp_;
  CountingReport report_;
  CurveBank bank_{};
  TForm1 form_{bank_, dev_, view_, udp_};
  int reportsAfterLoad_ = 0;
  std::vector<int> keyPool_, stickPool_;
  std::array<uint8_t, 256> keys_{};
  std::array<std::string, 8> sim_;
  std::vector<Segment> segments_;
  uint8_t pending_ = 0;
  uint32_t failBurst_ = 0;
  Totals totals_;
  std::string broken_;
};

// Ten settings: none at all, eight random files, one whose load ends early.
TEST(Soak, RandomTicksKeepEveryInvariant) {
  constexpr int kVariants = 10;
  const uint64_t perVariant = TotalTicks() / kVariants;
  Totals totals;
  auto start = std::chrono::steady_clock::now();
  for (int variant = 0; variant < kVariants; ++variant) {
    uint64_t seed = 0x5EED0000u + static_cast<uint64_t>(variant);
    Mixer setupRng(seed * 7919);
    std::string setup = variant == 0 ? "" : RandomSetup(setupRng, variant == kVariants - 1);
    Soak soak(setup, seed);
    ASSERT_EQ(soak.LoadReports(), variant == kVariants - 1 ? 1 : 0) << setup;
    std::string broken = soak.Run(perVariant, totals);
    ASSERT_EQ(broken, "") << "settings variant " << variant << " (seed " << seed << "):\n" << setup;
  }
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("soak: %llu ticks, %llu datagrams (%llu failed sends), %llu quiet checks, %.2f s\n",
              static_cast<unsigned long long>(totals.ticks),
              static_cast<unsigned long long>(totals.datagrams),
              static_cast<unsigned long long>(totals.failedSends),
              static_cast<unsigned long long>(totals.quietChecks), seconds);
  EXPECT_GE(totals.ticks, perVariant * kVariants);
  EXPECT_GT(totals.datagrams, totals.ticks / 20);  // the inputs really moved things
  EXPECT_GT(totals.failedSends, 0u);
}

}  // namespace
}  // namespace zq

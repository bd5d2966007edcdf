// The control tick started from states at the edges of 32 bits: counters at
// the top of their range, trims and sent copies at both ends, curves whose
// products leave 32 bits, readings from the words 6..10. Under the sanitizer
// build these prove that no arithmetic of the tick overflows.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

#include "config/binding.h"
#include "config/settings_file.h"
#include "config/settings_load.h"
#include "control/command_message.h"
#include "control/control_tick.h"
#include "kit/fakes.h"
#include "kit/invariants.h"

namespace zq {
namespace {

constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
constexpr int32_t kMax = std::numeric_limits<int32_t>::max();

// The window state and curve bank as a settings text loads them, ready for
// ControlTick to be run on states set by hand.
struct Rig {
  FormState form;
  CurveBank bank;
  CurveTableBank tables;
  test::FakeDevices devices;
  test::LabelView view;
  test::RecordingSender sender;
  TickPorts ports{devices, view, sender};

  explicit Rig(std::string_view ini) {
    devices.recordPolls = false;
    sender.keepAll = false;
    LoadedSettings loaded;
    EXPECT_FALSE(LoadSettings(ProfileTextSettings(ini), NoKeyCharMap(), loaded, bank));
    form.bindings = loaded.bindings;
    form.watchedKeys = loaded.watchedKeys;
    form.joyUsed = loaded.joyUsed;
    form.control.useTrim = true;
    form.control.useYTrim = true;
    form.control.startTrim = loaded.startTrim;
    form.control.startFlaps = loaded.startFlaps;
    ComputeCurveTables(bank, tables);
  }
  // One tick; "" or the first invariant of the kit it broke.
  std::string Tick() {
    const ControlState prev = form.control;
    ControlTick(form, bank, tables, ports);
    std::string why = test::ControlInvariants(form.control);
    if (why.empty()) why = test::TickInvariants(prev, form.control);
    if (why.empty() && sender.sends > 0 &&
        (sender.last.size() > kBodyCapacity + 1 || !test::IsMessageGrammar(sender.last)))
      why = "malformed message '" + sender.last + "'";
    return why;
  }
  const std::string& Text(Label label) const { return view.Text(label); }
};

TEST(Limits, TimeCountersStopShortOfOverflow) {
  Rig rig("[main]\nfire=-1 65\nFire12=-1 66\nYaxis=-1 0\n");
  rig.form.control.fireTime1 = kMax - 120;
  rig.form.control.fireTime2 = kMax - 50;
  rig.devices.keys[65] = 128;  // fire: counter 1
  rig.devices.keys[66] = 128;  // Fire12: both counters
  int32_t last1 = rig.form.control.fireTime1;
  for (int t = 0; t < 6; ++t) {
    ASSERT_EQ(rig.Tick(), "");
    const ControlState& c = rig.form.control;
    EXPECT_GE(c.fireTime1, last1);  // never wraps round to negative
    EXPECT_GE(c.fireTime2, kMax - 50);
    last1 = c.fireTime1;
  }
  EXPECT_GT(rig.form.control.fireTime1, kMax - 50);
  EXPECT_EQ(rig.Text(Label::Label1), "2147483.6");  // 2147483627 ms
  EXPECT_EQ(rig.Text(Label::Label2), "2147483.6");
}

TEST(Limits, TrimsAndSentCopiesAtBothEndsStayDefined) {
  // Every trim route, trim button and axis slot on a key or a stick word;
  // curves whose point products leave 32 bits.
  Rig rig(
      "[main]\nYaxis=0 6\nXaxis=0 8\nZaxis=0 10\nTrimAxis=0 9\nTrimXAxis=0 7\nTrimZAxis=0 0\n"
      "trimbtn=-1 65\ntrimXbtn=-1 66\ntrimZbtn=-1 67\nusetrim=-1 68\nuseYtrim=-1 69\n"
      "IncZtrim=-1 70\nDecZtrim=-1 71\npower=-1 72\nresetbtn=-1 73\n"
      "Y=-2147483648 2147483647 -2147483648 1073741824 -1073741825 2147483647\n"
      "TrimY=2147483647\nTrimX=-2147483648\nTrimZ=0 21474837 -21474837\n"
      "X=0 -2147483648\nZ=0 2147483647\nstarttrim=-2147483648\nstartflaps=2147483647\n");
  const std::array<int32_t, 5> edges = {kMin, kMin + 1, -1, kMax - 1, kMax};
  const std::array<uint32_t, 6> words = {0, 32767, 65535, 65536, 0x80000000u, 0xFFFFFFFFu};
  for (int32_t edge : edges) {
    for (uint32_t word : words) {
      ControlState& c = rig.form.control;
      c.trimYTotal = c.trimXTotal = c.trimZTotal = edge;
      c.sentY = c.sentX = c.sentZ = edge / -3;
      c.trimYBtn = edge;  // what power may have set from starttrim
      rig.devices.AllWords(word);
      for (int vk = 65; vk <= 73; ++vk) {
        rig.devices.keys.fill(0);
        ASSERT_EQ(rig.Tick(), "");  // release: the next tick sees an edge
        rig.devices.keys[static_cast<size_t>(vk)] = 128;
        ASSERT_EQ(rig.Tick(), "") << "edge " << edge << " word " << word << " key " << vk;
      }
    }
  }
  // power applied starttrim as it stands and the start flaps confined
  EXPECT_EQ(rig.form.control.startTrim, kMin);
}

TEST(Limits, ReadingsOfTheWordsBeyondTheAxesWrap) {
  // The button word, button number, POV and reserved words as axes: their
  // reading wraps in 32 bits, so words far beyond 65535 can read as the
  // centre or the far side; a reading past the end is confined.
  struct Case {
    uint32_t word;
    int32_t axisY;  // through the curve: 0 at the centre, 25 halfway, 100 at the ends
  };
  const Case cases[] = {
      {0, -100},       {65535, 100}, {65536, 100},     {0x7FFFFFFF, -100}, {0x80000000, -100},
      {0x80007FFF, 0}, {0xBFFF, 25}, {0x8000BFFF, 25}, {0xFFFFFFFF, -100}, {0xFFFF7FFF, -100},
  };
  for (int word = 6; word <= 10; ++word) {
    Rig rig("[main]\nYaxis=0 " + std::to_string(word) + "\nY=0 10 20 30 40 50 60 70 80 90 100\n");
    for (const Case& k : cases) {
      rig.devices.AllWords(k.word);
      ASSERT_EQ(rig.Tick(), "");
      EXPECT_EQ(rig.form.control.axisY, k.axisY) << "word " << word << " value " << k.word;
    }
  }
}

}  // namespace
}  // namespace zq

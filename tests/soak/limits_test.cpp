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

namespace zq {
namespace {

constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
constexpr int32_t kMax = std::numeric_limits<int32_t>::max();

class Devices : public InputDevices {
 public:
  std::array<uint8_t, 256> keys{};
  std::array<uint32_t, 11> words{};
  uint8_t KeyState(int vk) override { return keys[static_cast<size_t>(vk)]; }
  bool PollJoystick(int, JoyInfoEx& record) override {
    for (int w = 0; w < JoyInfoEx::kWords; ++w) record.SetWord(w, words[static_cast<size_t>(w)]);
    return true;
  }
};

class View : public StatusView {
 public:
  std::array<std::string, kLabelCount> text;
  void SetText(Label label, std::string_view t) override {
    text[static_cast<size_t>(label)].assign(t);
  }
  void SetFontColor(Label, Rgb) override {}
  void SetBackground(Label, Rgb) override {}
  void RepaintP() override {}
};

class Sender : public DatagramSender {
 public:
  std::string last;
  SendResult Send(const char* data, size_t size) override {
    last.assign(data, size);
    return {};
  }
};

// The window state and curve bank as a settings text loads them, ready for
// ControlTick to be run on states set by hand.
struct Rig {
  FormState form;
  CurveBank bank;
  CurveTableBank tables;
  Devices devices;
  View view;
  Sender sender;
  TickPorts ports{devices, view, sender};

  explicit Rig(std::string_view ini) {
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
  TickOutcome Tick() { return ControlTick(form, bank, tables, ports); }
  const std::string& Text(Label label) const { return view.text[static_cast<size_t>(label)]; }
};

TEST(Limits, TimeCountersStopShortOfOverflow) {
  Rig rig("[main]\nfire=-1 65\nFire12=-1 66\nYaxis=-1 0\n");
  rig.form.control.fireTime1 = kMax - 120;
  rig.form.control.fireTime2 = kMax - 50;
  rig.devices.keys[65] = 128;  // fire: counter 1
  rig.devices.keys[66] = 128;  // Fire12: both counters
  int32_t last1 = rig.form.control.fireTime1;
  for (int t = 0; t < 6; ++t) {
    rig.Tick();
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
  int n = 0;
  for (int32_t edge : edges) {
    for (uint32_t word : words) {
      ControlState& c = rig.form.control;
      c.trimYTotal = c.trimXTotal = c.trimZTotal = edge;
      c.sentY = c.sentX = c.sentZ = edge / -3;
      c.trimYBtn = edge;  // what power may have set from starttrim
      rig.devices.words.fill(word);
      for (int vk = 65; vk <= 73; ++vk) {
        rig.devices.keys.fill(0);
        rig.Tick();  // release: the next tick sees an edge
        rig.devices.keys[static_cast<size_t>(vk)] = 128;
        rig.Tick();
        const ControlState& s = rig.form.control;
        EXPECT_TRUE(s.trimXBtn >= -100 && s.trimXBtn <= 100) << s.trimXBtn;
        EXPECT_TRUE(s.trimZBtn >= -100 && s.trimZBtn <= 100) << s.trimZBtn;
        EXPECT_TRUE(s.flaps >= 0 && s.flaps <= 3) << s.flaps;
        EXPECT_LE(rig.sender.last.size(), kBodyCapacity + 1);
        ++n;
      }
    }
  }
  EXPECT_EQ(n, 5 * 6 * 9);
  // power applied starttrim as it stands and the start flaps confined
  EXPECT_EQ(rig.form.control.startTrim, kMin);
}

TEST(Limits, ReadingsOfTheWordsBeyondTheAxesWrap) {
  // the button word, button number, POV and reserved words as axes
  for (int word = 6; word <= 10; ++word) {
    Rig rig("[main]\nYaxis=0 " + std::to_string(word) + "\nY=0 100\n");
    for (uint32_t v : {0u, 65535u, 65536u, 0x7FFFFFFFu, 0x80000000u, 0x80007FFFu, 0xFFFFFFFFu}) {
      rig.devices.words.fill(v);
      rig.Tick();
      // whatever the word, the curve sees a reading within -1000..1000
      EXPECT_TRUE(rig.form.control.axisY >= -100 && rig.form.control.axisY <= 100)
          << "word " << word << " value " << v << " gives " << rig.form.control.axisY;
    }
  }
}

}  // namespace
}  // namespace zq

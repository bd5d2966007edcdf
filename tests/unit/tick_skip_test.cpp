// The rule for leaving ticks out, held against the tick itself: on states
// reached by random input (keys, buttons, axes, Num Lock, failed sends),
// NextTickChangesNothing must say exactly whether a tick on the same inputs
// sends, writes the window or moves the state.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <tuple>

#include "app/tform1.h"
#include "config/settings_file.h"
#include "control/tick_skip.h"
#include "kit/fakes.h"

namespace zq {
namespace {

constexpr const char* kSetup =
    "[main]\n"
    "Yaxis=0 1\nXaxis=0 0\nZaxis=1 2\nTrimAxis=1 0\nTrimXAxis=-1 0\nTrimZAxis=1 1\n"
    "fire=-1 70\nFire2=0 5\nFire12=1 3\nchat=-1 67\npower=-1 73\n"
    "curveup=-1 81\ncurvedown=1 4\nusetrim=0 3\nuseYtrim=-1 89\n"
    "trimbtn=0 1\ntrimXbtn=-1 88\ntrimZbtn=-1 90\nresetbtn=-1 82\n"
    "flapsdown=-1 75\nflapsup=0 6\nIncZtrim=0 2\nDecZtrim=-1 68\n"
    "PowerPlus=-1 85\nPowerMinus=0 4\nstarttrim=30\nstartflaps=2\n"
    "Y1=100\nY2=0 -50 30 -100 7 0 0 0 0 0 150\nX2=0 10\nTrimY=0 50\n";

// The keys bound above, the modifiers' keys and Escape, Enter, Num Lock.
constexpr int kKeys[] = {70, 67, 73, 81, 89, 88, 90, 82, 75, 68, 85, 27, 13};
constexpr uint32_t kAxisWords[] = {0, 16383, 32767, 36044, 45874, 65535};

auto Snapshot(const TForm1& f) {
  const ControlState& s = f.State().control;
  return std::make_tuple(s.axisY, s.axisX, s.axisZ, s.trimYBtn, s.trimXBtn, s.trimZBtn, s.trimYAxis,
                         s.trimXAxis, s.trimZAxis, s.trimYTotal, s.trimXTotal, s.trimZTotal,
                         s.sentY, s.sentX, s.sentZ, s.throttle, s.throttleStep, s.sentThrottle,
                         s.flaps, s.sentFlaps, s.fireTime1, s.fireTime2, s.useTrim, s.useYTrim,
                         s.chatMode, s.resendChannels, f.Bank().curveIndex);
}

struct Rig {
  test::FakeDevices dev;
  test::RecordingView view;
  test::RecordingSender udp;
  CurveBank bank;
  TForm1 form{bank, dev, view, udp};
  Rig() {
    EXPECT_FALSE(form.FormCreate(ProfileTextSettings(kSetup), NoKeyCharMap(), {1920, 1080}));
  }
};

TEST(TickSkip, SaysExactlyWhenATickOnTheSameInputsDoesNothing) {
  Rig rig;
  std::mt19937 random(19);
  auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  int quiet = 0, busy = 0, skippable = 0;
  for (int round = 0; round < 20000; ++round) {
    // Let go of everything now and then, change a few inputs, or none;
    // then tick.
    if (pick(4) == 0) {
      for (int k : kKeys) rig.dev.keys[static_cast<size_t>(k)] = 0;
      rig.dev.sticks[0].dwButtons = rig.dev.sticks[1].dwButtons = 0;
    }
    for (int changes = pick(3); changes > 0; --changes) {
      switch (pick(5)) {
        case 0:
          rig.dev.keys[static_cast<size_t>(kKeys[pick(13)])] = pick(4) == 0 ? 128 : 0;
          break;
        case 1:
          rig.dev.keys[144] = static_cast<uint8_t>(pick(2) + (pick(6) == 0 ? 128 : 0));
          break;
        case 2:
          rig.dev.Button(pick(2), 1 + pick(6), pick(3) == 0);
          break;
        case 3:
          rig.dev.Axis(pick(2), pick(3), kAxisWords[pick(6)]);
          break;
        default:
          if (pick(4) == 0) rig.udp.failures.push_back({SendResult::Kind::sendFailed, 10051});
      }
    }
    rig.form.Timer1Timer();
    const bool predicted = NextTickChangesNothing(rig.form.State());
    const bool mayskip = MaySkipTicks(rig.form.State());
    const auto before = Snapshot(rig.form);
    const size_t sent = rig.udp.sent.size();
    rig.view.calls.clear();
    rig.form.Timer1Timer();  // the same inputs again
    const bool nothing =
        rig.udp.sent.size() == sent && rig.view.calls.empty() && Snapshot(rig.form) == before;
    // Escape or Enter rewrites xp on every tick, with the same text when
    // nothing else wrote it: the rule counts that as a change.
    if (IsDown(rig.form.State().input.keyNow[27]) || IsDown(rig.form.State().input.keyNow[13])) {
      ASSERT_FALSE(predicted) << "round " << round;
      continue;
    }
    ASSERT_EQ(predicted, nothing) << "round " << round;
    ASSERT_TRUE(!mayskip || predicted) << "round " << round;
    (predicted ? quiet : busy) += 1;
    skippable += mayskip ? 1 : 0;
  }
  // The walk reaches both kinds often, and skippable states among the quiet.
  EXPECT_GT(quiet, 2000);
  EXPECT_GT(busy, 2000);
  EXPECT_GT(skippable, 500);
}

struct Simple : Rig {
  std::string Tick() {
    size_t n = udp.sent.size();
    form.Timer1Timer();
    return udp.sent.size() > n ? udp.sent.back() : "";
  }
};

TEST(TickSkip, CasesOfTheRule) {
  Simple r;
  for (int i = 0; i < 3; ++i) r.Tick();  // the sticks that never answer: axes at -100
  EXPECT_TRUE(NextTickChangesNothing(r.form.State()));
  EXPECT_TRUE(MaySkipTicks(r.form.State()));

  // A held throttle key at the bound changes nothing, yet keeps the ticks.
  r.dev.keys[85] = 128;
  for (int i = 0; i < 12; ++i) r.Tick();
  EXPECT_EQ(r.form.State().control.throttle, 110);
  EXPECT_TRUE(NextTickChangesNothing(r.form.State()));
  EXPECT_FALSE(MaySkipTicks(r.form.State()));
  r.dev.keys[85] = 0;
  r.Tick();
  EXPECT_TRUE(MaySkipTicks(r.form.State()));

  // A failed send waits to go out again.
  r.udp.failures.push_back({SendResult::Kind::sendFailed, 10051});
  r.dev.keys[75] = 128;  // flapsdown
  EXPECT_EQ(r.Tick(), "R/83\\-0.60");
  EXPECT_FALSE(NextTickChangesNothing(r.form.State()));
  EXPECT_EQ(r.Tick(), "R/83\\-0.60");
  r.dev.keys[75] = 0;
  r.Tick();
  EXPECT_TRUE(MaySkipTicks(r.form.State()));

  // A bound button held keeps the ticks; the fire counter one runs them.
  r.dev.Button(0, 6, true);  // flapsup, on the stick that now answers
  r.Tick();
  EXPECT_TRUE(NextTickChangesNothing(r.form.State()));
  EXPECT_FALSE(MaySkipTicks(r.form.State()));
  r.dev.Button(0, 6, false);
  r.dev.Button(0, 5, true);  // Fire2
  r.Tick();
  EXPECT_FALSE(NextTickChangesNothing(r.form.State()));
  r.dev.Button(0, 5, false);
  r.Tick();
  r.Tick();  // the counter follows the button one tick late
  EXPECT_TRUE(MaySkipTicks(r.form.State()));
}

TEST(TickSkip, ARoutedTrimReachesItsAxisOneTickLate) {
  Simple r;
  r.dev.Axis(0, 1, 45874);  // Y stick at 400
  r.dev.Axis(1, 0, 65535);  // trim axis at its end
  r.dev.keys[89] = 128;     // useYtrim: the Y trim goes into the axis
  r.Tick();
  r.dev.keys[89] = 0;
  r.Tick();
  r.Tick();
  EXPECT_TRUE(NextTickChangesNothing(r.form.State()));
  r.dev.Axis(1, 0, 32767);  // trim axis back to the centre
  EXPECT_EQ(r.Tick(), "R/97\\0");
  // The axis mixed with the new total goes out on the next tick.
  EXPECT_FALSE(NextTickChangesNothing(r.form.State()));
  EXPECT_EQ(r.Tick().substr(0, 5), "R/87\\");
  EXPECT_TRUE(NextTickChangesNothing(r.form.State()));
}

}  // namespace
}  // namespace zq

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "app/form_shell.h"
#include "config/settings_file.h"
#include "kit/fakes.h"

// Whole ticks as the player meets them (the labels written, the datagram
// sent, the error shown) are pinned by the golden replays in tests/replay:
// routing switches, chat mode, the fire timers and power, failed sends and
// curve sets among them. The cases here hold the edges of each rule.

namespace zq {
namespace {

// Raw axis words for a few readings.
constexpr uint32_t kRaw100 = 36044, kRaw400 = 45874, kRaw800 = 58981, kCentre = 32767;

struct Panel : ErrorReport {
  test::FakeDevices dev;
  test::RecordingView view;
  test::RecordingSender udp;
  CurveBank bank;
  TForm1 form{bank, dev, view, udp};
  std::vector<std::string> errors;

  explicit Panel(std::string_view ini = "") {
    CreateForm(form, ProfileTextSettings(ini), NoKeyCharMap(), {1920, 1080}, *this);
  }
  void ReportError(std::string_view text) override { errors.emplace_back(text); }

  // One tick; the datagram it sent, or "" for none.
  std::string Tick() {
    view.calls.clear();
    size_t before = udp.sent.size();
    RunTick(form, *this);
    EXPECT_LE(udp.sent.size(), before + 1);
    return udp.sent.size() > before ? udp.sent.back() : "";
  }
  // Presses a key for one tick and releases it for the next (pressing the
  // same key again needs a tick in between).
  std::string Press(int vk) {
    dev.keys[static_cast<size_t>(vk)] = 128;
    std::string sent = Tick();
    dev.keys[static_cast<size_t>(vk)] = 0;
    return sent;
  }
  bool Called(const std::string& call) const {
    return std::find(view.calls.begin(), view.calls.end(), call) != view.calls.end();
  }
  const ControlState& State() const { return form.State().control; }
};

TEST(ControlTick, NothingIsSentWhileNothingChanges) {
  Panel p("[main]\nYaxis=-1 0\n");
  for (int i = 0; i < 5; ++i) EXPECT_EQ(p.Tick(), "");
  EXPECT_TRUE(p.view.calls.empty());
}

TEST(ControlTick, AStickThatNeverAnswersReadsFullDeflection) {
  Panel p;  // Yaxis "0 1" on joystick 0, which is not there
  EXPECT_EQ(p.Tick(), "R/87\\-1");
  EXPECT_TRUE(p.Called("text yp -100"));
  EXPECT_EQ(p.Tick(), "");
}

TEST(ControlTick, AnEmptyBindingDoesNothing) {
  // joystick 0 is polled for Yaxis; the empty slots must not read its X axis
  // or its button 3
  Panel empty("[main]\nYaxis=0 1\nXaxis=\nPowerPlus=  \nfire=\n");
  empty.dev.Axis(0, 0, 0);
  empty.dev.Axis(0, 1, 65535);
  empty.dev.Button(0, 32, false);
  EXPECT_EQ(empty.Tick(), "R/87\\1");
  EXPECT_EQ(empty.Tick(), "");
  EXPECT_EQ(empty.State().throttle, 0);
  EXPECT_EQ(empty.State().fireTime1, 0);
}

TEST(ControlTick, ThrottleStepsAndBounds) {
  Panel p("[main]\nYaxis=-1 0\nPowerPlus=-1 80\nPowerMinus=-1 77\n");
  p.dev.keys[80] = 128;
  std::vector<std::string> sent;
  for (int i = 0; i < 12; ++i) sent.push_back(p.Tick());
  EXPECT_EQ(sent[0], "R/81\\-0.82");
  EXPECT_EQ(sent[5], "R/81\\0.09");
  EXPECT_EQ(sent[10], "R/81\\1.00");
  EXPECT_EQ(sent[11], "");  // held at 110: nothing more
  EXPECT_EQ(p.State().throttle, 110);
  p.dev.keys[77] = 128;  // both held: they cancel
  EXPECT_EQ(p.Tick(), "");
  p.dev.keys[80] = 0;
  p.dev.keys[144] = 1;  // Num Lock on: fine steps
  EXPECT_EQ(p.Tick(), "R/81\\0.96");
  EXPECT_TRUE(p.Called("text xp 108"));
  p.dev.keys[144] = 129;  // Num Lock held down: coarse again
  EXPECT_EQ(p.Tick(), "R/81\\0.78");
  for (int i = 0; i < 20; ++i) p.Tick();
  EXPECT_EQ(p.State().throttle, 0);
}

TEST(ControlTick, ThrottleFrom106ClampsTo110Once) {
  Panel p("[main]\nYaxis=-1 0\nPowerPlus=-1 80\n");
  p.dev.keys[144] = 1;
  p.dev.keys[80] = 128;
  for (int i = 0; i < 53; ++i) p.Tick();  // 106
  ASSERT_EQ(p.State().throttle, 106);
  p.dev.keys[144] = 0;
  EXPECT_EQ(p.Tick(), "R/81\\1.00");
  EXPECT_EQ(p.Tick(), "");
}

TEST(ControlTick, YTrimRoutedIntoTheAxisIsSentAsZero) {
  Panel p("[main]\nYaxis=-1 0\nuseYtrim=Y\nTrimAxis=1 0\n");
  p.dev.Axis(1, 0, kCentre);
  EXPECT_EQ(p.Press('Y'), "R/97\\0/95\\0/99\\0");
  EXPECT_TRUE(p.Called("color yp 255,255,0"));
  p.dev.Axis(1, 0, 65535);  // trim 100 folded into the centred Y axis
  EXPECT_EQ(p.Tick(), "R/97\\0");
  EXPECT_EQ(p.Tick(), "R/87\\0.5");
}

TEST(ControlTick, CurveSwitchWithASingleSetOrNone) {
  Panel one("[main]\nYaxis=-1 0\ncurveup=Q\n");
  EXPECT_EQ(one.Press('Q'), "");
  EXPECT_TRUE(one.Called("text xp 0"));
  EXPECT_TRUE(one.Called("repaint"));
  // a load that ended early leaves no curve set at all
  Panel none("[main]\ncurveup=Q\ncurvedown=W\nYaxis=bad 1\n");
  EXPECT_EQ(none.errors.size(), 1u);
  EXPECT_EQ(none.bank.curveCount, 0);
  none.Press('Q');  // nothing watches Q after the failed load: no effect at all
  EXPECT_EQ(none.bank.curveIndex, 0);
}

TEST(ControlTick, StartFlapsOutsideTheTableIsConfined) {
  for (auto [setting, flaps] : {std::pair{"7", 3}, std::pair{"-2", 0}, std::pair{"3", 3}}) {
    Panel p(std::string("[main]\nYaxis=-1 0\nstartflaps=") + setting + "\n");
    EXPECT_EQ(p.State().startFlaps, std::stoi(setting));  // stored as read
    std::string sent = p.Press('I');
    EXPECT_EQ(p.State().flaps, flaps) << setting;
    EXPECT_EQ(sent, flaps == 0 ? "" : (flaps == 3 ? "R/83\\1.00" : "")) << setting;
  }
}

TEST(ControlTick, FlapsStayWithinTheTable) {
  Panel p("[main]\nYaxis=-1 0\nflapsup=1 1\nflapsdown=1 2\n");
  p.dev.Button(1, 1, true);
  EXPECT_EQ(p.Tick(), "");  // up at 0: nothing
  p.dev.Button(1, 1, false);
  const char* expected[] = {"R/83\\-0.60", "R/83\\-0.34", "R/83\\1.00", ""};
  for (const char* e : expected) {
    p.dev.Button(1, 2, true);
    EXPECT_EQ(p.Tick(), e);
    p.dev.Button(1, 2, false);
    p.Tick();
  }
  EXPECT_EQ(p.State().flaps, 3);
}

TEST(ControlTick, ButtonTrimsAndReset) {
  Panel p("[main]\nYaxis=2 1\ntrimbtn=T\nIncZtrim=Z\nDecZtrim=X\nresetbtn=R\nTrimAxis=2 0\n");
  p.dev.Axis(2, 1, kRaw400);
  p.dev.Axis(2, 0, kCentre);
  p.Tick();
  EXPECT_EQ(p.Press('T'), "R/97\\0.8");
  EXPECT_EQ(p.State().trimYBtn, 80);
  p.dev.Axis(2, 1, kRaw800);
  p.Tick();
  p.Press('T');
  EXPECT_EQ(p.State().trimYBtn, 100);  // 2 * mix(80, 80) = 2 * 90, limited
  for (int i = 0; i < 105; ++i) p.Press('Z'), p.Tick();
  EXPECT_EQ(p.State().trimZBtn, 100);
  p.dev.Axis(2, 0, kRaw100);  // trim axis part 10
  p.Tick();
  EXPECT_EQ(p.Press('R'), "R/97\\0.1/99\\0");
  EXPECT_TRUE(p.Called("text ty 10"));
  EXPECT_TRUE(p.Called("color ty 255,255,255"));
  for (int i = 0; i < 205; ++i) p.Press('X'), p.Tick();
  EXPECT_EQ(p.State().trimZBtn, -100);
}

// The chain each axis went through in a tick, as the configurator shows it:
// every step's value is the one the tick used, so the last one is what the
// message carries, also in the tick where a mixed-in trim lags behind.
TEST(ControlTick, TheChainOfAnAxisEndsInWhatItsChannelCarries) {
  Panel p("[main]\nYaxis=2 1\nTrimAxis=2 0\nXaxis=-1 0\nZaxis=5 1\nuseYtrim=Y\n");
  auto chain = [&](size_t axis) { return p.form.State().chain.axes[axis]; };
  p.dev.Axis(2, 1, kRaw400);
  p.dev.Axis(2, 0, 65535);
  EXPECT_EQ(p.Tick(), "R/87\\0.4/89\\-1/97\\1");
  AxisChain y = chain(0);
  EXPECT_EQ((std::array{y.reading, y.shaped, y.trimReading, y.trimAxis, y.trimTotal, y.value,
                        y.trimValue}),
            (std::array{400, 40, 1000, 100, 100, 40, 100}));
  EXPECT_TRUE(y.apart);
  AxisChain z = chain(2);  // joystick 5 never answered: full deflection
  EXPECT_EQ((std::array{z.reading, z.shaped, z.value}), (std::array{-1000, -100, -100}));

  // Routed into the axis: mixed with the total of the last tick.
  EXPECT_EQ(p.Press('Y'), "R/87\\0.7/97\\0/95\\0/99\\0");
  y = chain(0);
  EXPECT_FALSE(y.apart);
  EXPECT_EQ((std::array{y.trimMixed, y.value, y.trimValue}), (std::array{100, 70, 0}));
  EXPECT_EQ(p.form.State().chain.pressed, 1u << slots::useYtrim);

  // The wheel back to centre: the total falls now, the axis follows a tick
  // later, and the chain says which total each tick mixed in.
  p.dev.Axis(2, 0, kCentre);
  EXPECT_EQ(p.Tick(), "R/97\\0");
  y = chain(0);
  EXPECT_EQ((std::array{y.trimMixed, y.trimTotal, y.value}), (std::array{100, 0, 70}));
  EXPECT_EQ(p.form.State().chain.pressed, 0u);
  EXPECT_EQ(p.Tick(), "R/87\\0.4");
  y = chain(0);
  EXPECT_EQ((std::array{y.trimMixed, y.value}), (std::array{0, 40}));
}

TEST(ControlTick, AChangeJoinsTheChannelsOfAFailedSend) {
  Panel p("[main]\nYaxis=2 1\nflapsdown=F\n");
  p.dev.Axis(2, 1, 65535);
  p.udp.failures = {{SendResult::Kind::sendFailed, 10054}};
  EXPECT_EQ(p.Press('F'), "R/87\\1/83\\-0.60");
  // the changed axis goes out with the lost flaps, each channel once
  p.dev.Axis(2, 1, kCentre);
  EXPECT_EQ(p.Tick(), "R/87\\0/83\\-0.60");
  EXPECT_EQ(p.Tick(), "");  // through: nothing more
  EXPECT_EQ(p.errors.size(), 1u);
}

TEST(ControlTick, AbsurdSettingsStayDefined) {
  Panel p(
      "[main]\nYaxis=1 1\nY=2147483647\nTrimAxis=1 0\nTrimY=-2147483648\n"
      "starttrim=2147483647\nuseYtrim=Y\ntrimbtn=T\n");
  p.dev.Axis(1, 1, 40000);
  p.dev.Axis(1, 0, 60000);
  p.Tick();
  p.Press('I');
  p.Press('Y');
  p.Press('T');
  for (int i = 0; i < 3; ++i) {
    std::string sent = p.Tick();
    EXPECT_LE(sent.size(), 256u);
  }
}

}  // namespace
}  // namespace zq

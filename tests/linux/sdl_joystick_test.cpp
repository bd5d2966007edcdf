// The joystick layer on SDL's virtual joysticks: what the record holds,
// absent ids, and ids kept across unplugging.
#include <SDL.h>
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "app/run_report.h"
#include "input/sampling.h"
#include "platform/linux/sdl_joystick.h"
#include "platform/linux/virtual_stick.h"

namespace zq {
namespace {

class VirtualSticks : public ::testing::Test {
 protected:
  void SetUp() override {
    // Only the virtual sticks of this test: no HIDAPI scanning.
    SDL_SetHint(SDL_HINT_JOYSTICK_HIDAPI, "0");
    std::string error;
    ASSERT_TRUE(joysticks_.Start(error)) << error;
    for (const auto& j : joysticks_.Connected()) before_.insert(j.id);
  }

  // Plugs in a virtual stick named `name` and returns the id the layer gave
  // it; `elsewhere`: its changes come through a channel the caller watches.
  int Plug(const char* name, SDL_Joystick** handle, bool elsewhere = false) {
    int index = -1;
    *handle = OpenVirtualStick(name, &index, 0x1234,
                               static_cast<Uint16>(std::hash<std::string>{}(name)&0xFFFF));
    EXPECT_GE(index, 0) << SDL_GetError();
    EXPECT_NE(*handle, nullptr) << SDL_GetError();
    if (elsewhere) joysticks_.WatchedElsewhere(SDL_JoystickInstanceID(*handle));
    joysticks_.Update();
    for (const auto& j : joysticks_.Connected()) {
      if (j.name == name) return j.id;
    }
    return -1;
  }

  void Unplug(SDL_Joystick* handle) {
    SDL_JoystickID instance = SDL_JoystickInstanceID(handle);
    SDL_JoystickClose(handle);
    for (int i = 0; i < SDL_NumJoysticks(); ++i) {
      if (SDL_JoystickGetDeviceInstanceID(i) == instance) SDL_JoystickDetachVirtual(i);
    }
    joysticks_.Update();
  }

  JoyInfoEx Poll(int id) {
    JoyInfoEx r;
    r.dwSize = 52;
    r.dwFlags = 255;
    EXPECT_TRUE(joysticks_.Poll(id, r)) << id;
    return r;
  }

  SdlJoysticks joysticks_;
  std::set<int> before_;
};

TEST_F(VirtualSticks, RecordHoldsAxesButtonsAndHat) {
  SDL_Joystick* stick = nullptr;
  int id = Plug("zq stick", &stick);
  ASSERT_GE(id, 0);
  EXPECT_EQ(before_.count(id), 0u);

  // Axes at both ends and in the centre.
  const Sint16 axes[6] = {-32768, 32767, 0, -16384, 16384, 1};
  for (int a = 0; a < 6; ++a) SDL_JoystickSetVirtualAxis(stick, a, axes[a]);
  SDL_JoystickSetVirtualButton(stick, 0, SDL_PRESSED);   // button 1
  SDL_JoystickSetVirtualButton(stick, 31, SDL_PRESSED);  // button 32
  joysticks_.Update();
  JoyInfoEx r = Poll(id);
  EXPECT_EQ(r.dwSize, 52u);
  EXPECT_EQ(r.dwFlags, 255u);
  EXPECT_EQ(r.dwXpos, 0u);
  EXPECT_EQ(r.dwYpos, 65535u);
  EXPECT_EQ(r.dwZpos, 32767u);
  EXPECT_EQ(r.dwRpos, 16383u);
  EXPECT_EQ(r.dwUpos, 49152u);
  EXPECT_EQ(r.dwVpos, 32768u);
  EXPECT_EQ(r.dwButtons, 0x80000001u);
  EXPECT_EQ(r.dwButtonNumber, 2u);
  EXPECT_EQ(r.dwPOV, 65535u);

  const std::pair<Uint8, uint32_t> hats[] = {
      {SDL_HAT_UP, 0},           {SDL_HAT_RIGHTUP, 4500},
      {SDL_HAT_RIGHT, 9000},     {SDL_HAT_RIGHTDOWN, 13500},
      {SDL_HAT_DOWN, 18000},     {SDL_HAT_LEFTDOWN, 22500},
      {SDL_HAT_LEFT, 27000},     {SDL_HAT_LEFTUP, 31500},
      {SDL_HAT_CENTERED, 65535},
  };
  for (auto [hat, pov] : hats) {
    SDL_JoystickSetVirtualHat(stick, 0, hat);
    joysticks_.Update();
    EXPECT_EQ(Poll(id).dwPOV, pov) << int(hat);
  }
  SDL_JoystickSetVirtualButton(stick, 0, SDL_RELEASED);
  joysticks_.Update();
  r = Poll(id);
  EXPECT_EQ(r.dwButtons, 0x80000000u);
  EXPECT_EQ(r.dwButtonNumber, 1u);
  Unplug(stick);
}

TEST_F(VirtualSticks, AbsentIdFailsAndLeavesTheRecord) {
  int absent = -1;
  for (int id = kJoystickCount - 1; id >= 0 && absent < 0; --id) {
    if (before_.count(id) == 0) absent = id;
  }
  ASSERT_GE(absent, 0);
  JoyInfoEx r;
  r.dwXpos = 1234;
  r.dwButtons = 5;
  EXPECT_FALSE(joysticks_.Poll(absent, r));
  EXPECT_EQ(r.dwXpos, 1234u);
  EXPECT_EQ(r.dwButtons, 5u);
  EXPECT_FALSE(joysticks_.Poll(-1, r));
  EXPECT_FALSE(joysticks_.Poll(16, r));
}

TEST_F(VirtualSticks, UnpluggedStickGetsItsOldIdBack) {
  SDL_Joystick* a = nullptr;
  SDL_Joystick* b = nullptr;
  SDL_Joystick* c = nullptr;
  int idA = Plug("zq stick A", &a);
  int idB = Plug("zq stick B", &b);
  ASSERT_GE(idA, 0);
  ASSERT_GE(idB, 0);
  EXPECT_LT(idA, idB);  // ids in order of discovery

  SDL_JoystickSetVirtualAxis(a, 0, 32767);
  joysticks_.Update();
  JoyInfoEx kept = Poll(idA);
  Unplug(a);
  // While unplugged the id fails and the record stays as it was.
  JoyInfoEx r = kept;
  EXPECT_FALSE(joysticks_.Poll(idA, r));
  EXPECT_EQ(r.dwXpos, 65535u);

  // A stick plugged in meanwhile takes no id of an absent one.
  int idC = Plug("zq stick C", &c);
  EXPECT_NE(idC, idA);
  EXPECT_NE(idC, idB);

  int again = Plug("zq stick A", &a);
  EXPECT_EQ(again, idA);
  SDL_JoystickSetVirtualAxis(a, 0, -32768);
  joysticks_.Update();
  EXPECT_EQ(Poll(idA).dwXpos, 0u);
  Unplug(a);
  Unplug(b);
  Unplug(c);
}

// Ticks may sleep on an open stick only when its changes can wake the loop:
// a stick without a device to read keeps them going, a stick changed
// through a watched channel does not, nor does one that is gone.
TEST_F(VirtualSticks, OpenStickIsSettledOnlyWhenItsChangesAreWatched) {
  SDL_Joystick *plain = nullptr, *piped = nullptr;
  const int p = Plug("zq unwatched", &plain);
  const int q = Plug("zq piped", &piped, true);
  ASSERT_GE(p, 0);
  ASSERT_GE(q, 0);
  JoySet justP, justQ;
  justP.Add(p);
  justQ.Add(q);
  if (!joysticks_.Settled({})) GTEST_SKIP() << "no device folder to watch here";
  EXPECT_FALSE(joysticks_.Settled(justP));
  EXPECT_TRUE(joysticks_.Settled(justQ));
  EXPECT_FALSE(joysticks_.DrainEvents());
  Unplug(plain);
  EXPECT_TRUE(joysticks_.Settled(justP));
  Unplug(piped);
}

// The run report on a real joystick layer: a bound stick unplugged and
// plugged back gives one line each way, and quiet ticks none.
TEST_F(VirtualSticks, LostAndReturningStickIsReportedOnce) {
  struct SticksOnly : InputDevices {
    SdlJoysticks& sticks;
    explicit SticksOnly(SdlJoysticks& s) : sticks(s) {}
    uint8_t KeyState(int) override { return 0; }
    bool PollJoystick(int id, JoyInfoEx& record) override { return sticks.Poll(id, record); }
  } devices(joysticks_);
  struct Lines : ReportLines {
    std::vector<std::string> got;
    void Line(std::string_view text) override { got.emplace_back(text); }
  } lines;
  SDL_Joystick* stick = nullptr;
  const int id = Plug("zq stick report", &stick);
  ASSERT_GE(id, 0);
  BindingTable bindings{};
  for (Binding& b : bindings) b.unbound = true;
  bindings[Slot::Yaxis] = {id, 1};
  bindings[Slot::fire] = {id, 2};
  JoySet bound;
  bound.Add(id);
  AnswerWatch answers(devices);
  RunReport report(lines);
  InputSnapshot input;
  auto tick = [&] {
    joysticks_.Update();
    PollJoysticks(input, bound, answers);
    report.AfterTick(bindings, bound, answers.Answered(), TickOutcome{});
  };
  tick();
  tick();
  EXPECT_EQ(lines.got, std::vector<std::string>{});
  Unplug(stick);
  tick();
  tick();
  const std::string slots = "joystick " + std::to_string(id) + " (Yaxis, fire) ";
  EXPECT_EQ(lines.got, std::vector<std::string>{slots + "stopped answering: its axes and buttons "
                                                        "keep their last state until it answers"});
  ASSERT_EQ(Plug("zq stick report", &stick), id);
  tick();
  tick();
  ASSERT_EQ(lines.got.size(), 2u);
  EXPECT_EQ(lines.got[1], slots + "answers again");
  Unplug(stick);
}

}  // namespace
}  // namespace zq

#include "input/sampling.h"

#include <gtest/gtest.h>

#include "kit/fakes.h"

namespace zq {
namespace {

using test::FakeDevices;

int32_t Axis(uint32_t raw, int32_t word = 0, int32_t device = 0) {
  InputSnapshot in;
  if (device >= 0 && device < 16)
    in.joyInfo[static_cast<size_t>(device)].SetWord(word >= 0 && word <= 10 ? word : 0, raw);
  return ReadAxis({device, word, false, false, false}, in);
}

TEST(ReadAxis, ScalesTheRawTravel) {
  struct Case {
    uint32_t raw;
    int32_t reading;
  };
  const Case cases[] = {{0, -1000}, {16383, -500}, {32734, -1},  {32735, 0},    {32767, 0},
                        {32799, 0}, {32800, 1},    {49151, 500}, {65534, 1000}, {65535, 1000}};
  for (const Case& c : cases) EXPECT_EQ(Axis(c.raw), c.reading) << c.raw;
}

TEST(ReadAxis, WordsBeyond65535WrapIn32Bits) {
  // (4294967295 - 32767) * 1000 wraps to -32768000
  EXPECT_EQ(Axis(4294967295u, 6), -1000);
  // (2147516415 - 32767) * 1000 = 2147483648000 wraps to 0
  EXPECT_EQ(Axis(2147516415u, 8), 0);
  EXPECT_EQ(Axis(65535, 8), 1000);  // a centred hat word reads full travel
}

TEST(ReadAxis, BindingsOutsideTheTablesReadZero) {
  EXPECT_EQ(Axis(0, 1, -1), 0);  // keyboard
  EXPECT_EQ(Axis(0, 1, 16), 0);  // no such joystick
  EXPECT_EQ(Axis(0, 1, -2), 0);
  EXPECT_EQ(Axis(0, 11, 0), 0);  // no such word
  EXPECT_EQ(Axis(0, -1, 0), 0);
}

struct Fixture : testing::Test {
  BindingTable bindings{};
  InputSnapshot in;
  FakeDevices devices;
  KeySet watched;
  bool chatMode = false;

  void Tick() {
    PollKeys(in, watched, devices);
    JoySet all;
    all.bits = 0xFFFF;
    PollJoysticks(in, all, devices);
  }
  void End() {
    JoySet all;
    all.bits = 0xFFFF;
    StorePrevious(in, all);
  }
  bool Pressed(int slot) { return IsPressed(slot, {bindings, in, chatMode}); }
  bool Held(int slot) { return IsHeld(slot, {bindings, in, chatMode}); }
};

TEST_F(Fixture, KeyEdgeOnTheFirstTickOnly) {
  bindings[Slot::power] = {-1, 73, false, false, false};
  watched.Add(73);
  devices.keys[73] = 128;
  bool pressed[4], held[4];
  for (int t = 0; t < 3; ++t) {
    Tick();
    pressed[t] = Pressed(Slot::power);
    held[t] = Held(Slot::power);
    End();
  }
  devices.keys[73] = 1;  // released, toggled
  Tick();
  pressed[3] = Pressed(Slot::power);
  held[3] = Held(Slot::power);
  End();
  EXPECT_TRUE(pressed[0]);
  EXPECT_FALSE(pressed[1] || pressed[2] || pressed[3]);
  EXPECT_TRUE(held[0] && held[1] && held[2]);
  EXPECT_FALSE(held[3]);
  devices.keys[73] = 129;
  Tick();
  EXPECT_TRUE(Pressed(Slot::power));
}

TEST_F(Fixture, OnlyWatchedKeysArePolled) {
  bindings[Slot::power] = {-1, 73, false, false, false};
  devices.keys[73] = 128;
  Tick();
  EXPECT_FALSE(Held(Slot::power));
  EXPECT_TRUE(devices.keyPolls.empty());
}

TEST_F(Fixture, ModifiersMustMatchExactlyWhenWatched) {
  bindings[Slot::trimbtn] = {-1, 65, true, false, false};  // [CTRL]A
  bindings[Slot::resetbtn] = {-1, 66, false, false, false};
  for (int vk : {65, 66, 17}) watched.Add(vk);
  devices.keys[17] = 128;
  devices.keys[65] = 128;
  devices.keys[66] = 128;
  Tick();
  EXPECT_TRUE(Pressed(Slot::trimbtn));
  EXPECT_FALSE(Pressed(Slot::resetbtn));  // Ctrl is down and B does not ask for it
  End();
  // a press blocked on its first tick is lost while the key stays down
  devices.keys[17] = 0;
  Tick();
  EXPECT_FALSE(Pressed(Slot::resetbtn));
  // an unwatched Alt blocks nothing
  bindings[Slot::flapsup] = {-1, 67, false, true, false};
  watched.Add(67);
  devices.keys[67] = 128;
  devices.keys[18] = 128;
  Tick();
  EXPECT_FALSE(Pressed(Slot::flapsup));  // needs Alt, whose state is never read: 0
}

TEST_F(Fixture, ChatModeBlocksKeyEdgesExceptChat) {
  bindings[Slot::chat] = {-1, 192, false, false, false};
  bindings[Slot::power] = {-1, 73, false, false, false};
  bindings[Slot::PowerPlus] = {-1, 80, false, false, false};
  bindings[Slot::flapsdown] = {2, 5, false, false, false};
  for (int vk : {192, 73, 80}) watched.Add(vk);
  chatMode = true;
  devices.keys[192] = devices.keys[73] = devices.keys[80] = 128;
  devices.Button(2, 5, true);
  Tick();
  EXPECT_TRUE(Pressed(Slot::chat));
  EXPECT_FALSE(Pressed(Slot::power));
  EXPECT_TRUE(Held(Slot::PowerPlus));
  EXPECT_TRUE(Pressed(Slot::flapsdown));
}

TEST_F(Fixture, JoystickButtonBits) {
  bindings[Slot::flapsup] = {1, 0, false, false, false};     // button 32
  bindings[Slot::flapsdown] = {1, 33, false, false, false};  // button 1 again
  bindings[Slot::resetbtn] = {1, -31, false, false, false};  // (-32) mod 32: button 1
  devices.Button(1, 32, true);
  Tick();
  EXPECT_TRUE(Pressed(Slot::flapsup));
  EXPECT_FALSE(Pressed(Slot::flapsdown));
  End();
  devices.Button(1, 1, true);
  Tick();
  EXPECT_FALSE(Pressed(Slot::flapsup));  // still down: no new edge
  EXPECT_TRUE(Held(Slot::flapsup));
  EXPECT_TRUE(Pressed(Slot::flapsdown));
  EXPECT_TRUE(Pressed(Slot::resetbtn));
}

TEST_F(Fixture, KeyCodesOutsideTheTableAreNeverDown) {
  bindings[Slot::power] = {-1, 300, false, false, false};
  bindings[Slot::chat] = {-1, -1, false, false, false};
  bindings[Slot::fire] = {17, 1, false, false, false};
  Tick();
  for (int s : {Slot::power, Slot::chat, Slot::fire}) {
    EXPECT_FALSE(Pressed(s));
    EXPECT_FALSE(Held(s));
  }
}

TEST_F(Fixture, AnUnboundSlotIsNeverPressedHeldOrRead) {
  bindings[Slot::PowerPlus] = {0, 0, false, false, false, true};
  bindings[Slot::power] = {-1, 73, false, false, false, true};
  bindings[Slot::Xaxis] = {0, 0, false, false, false, true};
  watched.Add(73);
  devices.keys[73] = 128;
  devices.Button(0, 32, true);
  Tick();
  EXPECT_FALSE(Pressed(Slot::PowerPlus) || Held(Slot::PowerPlus));
  EXPECT_FALSE(Pressed(Slot::power) || Held(Slot::power));
  EXPECT_EQ(ReadAxis(bindings[Slot::Xaxis], in), 0);
}

TEST_F(Fixture, AFailedPollKeepsTheRecord) {
  devices.Axis(3, 1, 50000);
  JoySet three;
  three.Add(3);
  PollJoysticks(in, three, devices);
  devices.plugged[3] = false;
  devices.sticks[3].dwYpos = 0;
  PollJoysticks(in, three, devices);
  EXPECT_EQ(in.joyInfo[3].dwYpos, 50000u);
  EXPECT_EQ(in.joyInfo[3].dwSize, 52u);
  EXPECT_EQ(in.joyInfo[3].dwFlags, 255u);
  EXPECT_EQ(devices.joyPolls, (std::vector<int>{3, 3}));
}

}  // namespace
}  // namespace zq

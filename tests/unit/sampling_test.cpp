#include "input/sampling.h"

#include <gtest/gtest.h>

#include "input/probe_report.h"
#include "input/stick_match.h"
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

namespace zq {
namespace {

StickIdentity Id(std::string_view text) {
  StickIdentity d;
  EXPECT_EQ(ParseStickPin(text, d), std::nullopt) << text;
  return d;
}

TEST(StickPin, LinesReadBackAsTheyWereWritten) {
  const StickIdentity d = Id("  044F:B10A   \"Flight \"Pro\" Stick\"  path=pci-0:3 SERIAL=0A1B2C ");
  EXPECT_EQ(d.vendor, 0x044f);
  EXPECT_EQ(d.product, 0xb10a);
  EXPECT_EQ(d.name.View(), "Flight \"Pro\" Stick");  // up to the last quote
  EXPECT_EQ(d.serial.View(), "0A1B2C");
  EXPECT_EQ(d.path.View(), "pci-0:3");
  EXPECT_EQ(FormatStickPin(d), "044f:b10a \"Flight \"Pro\" Stick\" serial=0A1B2C path=pci-0:3");
  // zq-probe offers the serial alone where there is one: it holds in any port.
  EXPECT_EQ(PinLineFor(d), "044f:b10a \"Flight \"Pro\" Stick\" serial=0A1B2C");
  StickIdentity again;
  EXPECT_EQ(ParseStickPin(FormatStickPin(d), again), std::nullopt);
  EXPECT_EQ(FormatStickPin(again), FormatStickPin(d));
  EXPECT_EQ(Id("06a3:0763").name.View(), "");
  // A serial with a blank cannot be written in a line: the path stands in.
  StickIdentity blank = d;
  blank.serial.Clear();
  blank.serial.Append("A B");
  EXPECT_EQ(PinLineFor(blank), "044f:b10a \"Flight \"Pro\" Stick\" path=pci-0:3");
}

TEST(StickPin, ProbeOffersTheLineWithWhatItCanTellApart) {
  EXPECT_EQ(ProbePinLine(2, Id("044f:b10a \"Stick\" serial=A path=usb-3")),
            "    [sticks] 2=044f:b10a \"Stick\" serial=A");
  EXPECT_EQ(ProbePinLine(0, Id("044f:b10a \"Stick\" path=usb-3")),
            "    [sticks] 0=044f:b10a \"Stick\" path=usb-3  (no serial: pinned to this USB port)");
  EXPECT_EQ(ProbePinLine(1, Id("044f:b10a \"Stick\""), true),
            "    [sticks] 1=044f:b10a \"Stick\"  (Bluetooth: no port path and no serial, so only "
            "its name tells it: a twin cannot be told apart)");
  EXPECT_EQ(ProbePinLine(1, Id("044f:b10a \"Pad\" serial=7"), true),
            "    [sticks] 1=044f:b10a \"Pad\" serial=7");
  EXPECT_EQ(ProbePinLine(3, StickIdentity{}),
            "    (the system gives no VID:PID for this stick: it cannot be pinned in [sticks])");
}

TEST(StickPin, MalformedLinesSayWhatIsWrong) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"", "no device: a pin starts with VID:PID, like 044f:b10a"},
      {"\"Stick\"", "no device: a pin starts with VID:PID, like 044f:b10a"},
      {"44f:b10a \"S\"", "'44f:b10a' is not VID:PID (four hex digits, a colon, four hex digits)"},
      {"044f-b10a", "'044f-b10a' is not VID:PID (four hex digits, a colon, four hex digits)"},
      {"044g:b10a", "'044g:b10a' is not VID:PID (four hex digits, a colon, four hex digits)"},
      {"0000:0000 \"S\"", "0000:0000 names no device"},
      {"044f:b10a \"Stick", "the device's name has no closing quote"},
      {"044f:b10a \"S\"x", "'x' follows the name without a blank"},
      {"044f:b10a Stick", "'Stick' is not in double quotes: the name is written \"like this\""},
      {"044f:b10a \"S\" port=3", "'port=3' is none of serial=, path= and guid="},
      {"044f:b10a \"S\" serial=", "serial= has no value"},
      {"044f:b10a \"S\" path=a path=b", "path= is given twice"},
  };
  for (const auto& [text, error] : cases) {
    StickIdentity d;
    EXPECT_EQ(ParseStickPin(text, d), std::optional<std::string>(error)) << text;
  }
}

struct Match {
  StickPins pins;
  std::vector<PresentStick> present;
  void Pin(int id, std::string_view text) {
    pins.pinned[static_cast<size_t>(id)] = true;
    pins.device[static_cast<size_t>(id)] = Id(text);
  }
  void Plug(int slot, std::string_view text, std::string_view path = "") {
    PresentStick p{slot, Id(text)};
    p.identity.path.Clear();
    p.identity.path.Append(path);
    present.push_back(p);
  }
  StickMap Run() const {
    StickMap map;
    MatchSticks(pins, present, map);
    return map;
  }
};

TEST(MatchSticks, SerialThenPortThenAUniqueName) {
  Match m;
  m.Pin(0, "044f:b10a \"Stick\" serial=A path=usb-1");  // moved to another port
  m.Pin(1, "044f:b10a \"Stick\" path=usb-3");
  m.Pin(2, "06a3:0763 \"Pedals\"");
  m.Pin(3, "044f:b10a \"Stick\" serial=C");  // not here
  m.Plug(0, "06a3:0763 \"Pedals\"");
  m.Plug(1, "044f:b10a \"Stick\"", "usb-3");
  m.Plug(2, "044f:b10a \"Stick\" serial=A", "usb-9");
  m.Plug(3, "044f:b10a \"Stick\" serial=B", "usb-4");
  m.Plug(4, "1234:5678 \"Wheel\"");
  const StickMap map = m.Run();
  EXPECT_EQ(map.slot[0], 2);
  EXPECT_EQ(map.by[0], MatchedBy::serial);
  EXPECT_EQ(map.slot[1], 1);
  EXPECT_EQ(map.by[1], MatchedBy::path);
  EXPECT_EQ(map.slot[2], 0);
  EXPECT_EQ(map.by[2], MatchedBy::name);
  EXPECT_EQ(map.state[3], PinState::missing);  // B's serial differs: never a guess
  EXPECT_EQ(map.slot[3], -1);
  // The ids not pinned take the system's ids that no pin holds, in order.
  EXPECT_EQ(map.slot[4], 3);
  EXPECT_EQ(map.slot[5], 4);
  EXPECT_EQ(map.slot[6], 5);
  EXPECT_EQ(map.state[6], PinState::unpinned);
  EXPECT_EQ(map.slot[15], 14);
}

TEST(MatchSticks, TwinsNothingTellsApartAreNeverGuessed) {
  Match m;
  m.Pin(0, "044f:b10a \"Stick\"");
  m.Pin(1, "044f:b10a \"Stick\"");
  m.Plug(0, "044f:b10a \"Stick\"");
  m.Plug(1, "044f:b10a \"Stick\"");
  m.Plug(2, "06a3:0763 \"Pedals\"");
  StickMap map = m.Run();
  for (size_t id : {0u, 1u}) {
    EXPECT_EQ(map.state[id], PinState::ambiguous);
    EXPECT_EQ(map.slot[id], -1);
    EXPECT_EQ(map.twins[id], 0b11);
  }
  // Nor does an unpinned id get one of them.
  EXPECT_EQ(map.slot[2], 2);
  EXPECT_EQ(map.slot[3], 3);
  // A port path on one pin tells them apart; the other twin is then the one
  // device left that the name matches.
  m.present[1].identity.path.Append("usb-2");
  m.pins.device[1].path.Append("usb-2");
  map = m.Run();
  EXPECT_EQ(map.slot[1], 1);
  EXPECT_EQ(map.slot[0], 0);
  EXPECT_EQ(map.by[0], MatchedBy::name);
}

TEST(MatchSticks, WithoutPinsEveryIdIsItsOwn) {
  Match m;
  m.Plug(3, "044f:b10a \"Stick\"");
  const StickMap map = m.Run();
  EXPECT_EQ(map.slot, IdentityStickMap().slot);
  Match unknown;  // a device that told nothing of itself is never a pin's
  unknown.Pin(0, "044f:b10a \"\"");
  unknown.present.push_back({0, StickIdentity{}});
  EXPECT_EQ(unknown.Run().state[0], PinState::missing);
}

}  // namespace
}  // namespace zq

// The Linux panel's parts that need no X server and no device: the key
// table, the joystick record, the id bookkeeping, the box text, the guard
// and the tick timer.
#include <gtest/gtest.h>
#include <linux/input-event-codes.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/tick_schedule.h"
#include "config/binding.h"
#include "input/sampling.h"
#include "platform/linux/linux_error_box.h"
#include "platform/linux/linux_instance.h"
#include "platform/linux/linux_tick_timer.h"
#include "platform/linux/sdl_joystick.h"
#include "platform/linux/x11_key_table.h"
#include "platform/linux/x11_keyboard.h"
#include "platform/panel_process.h"

namespace zq {
namespace {

TEST(KeyTable, StandardKeysGiveTheirWindowsVirtualKeys) {
  struct Case {
    int inputCode;
    KeyVks numLockOff, numLockOn;
  };
  const Case cases[] = {
      {KEY_A, {65, 0}, {65, 0}},
      {KEY_Z, {90, 0}, {90, 0}},
      {KEY_1, {49, 0}, {49, 0}},
      {KEY_0, {48, 0}, {48, 0}},
      {KEY_ENTER, {13, 0}, {13, 0}},
      {KEY_KPENTER, {13, 0}, {13, 0}},
      {KEY_ESC, {27, 0}, {27, 0}},
      {KEY_NUMLOCK, {144, 0}, {144, 0}},
      {KEY_F1, {112, 0}, {112, 0}},
      {KEY_F12, {123, 0}, {123, 0}},
      {KEY_F13, {124, 0}, {124, 0}},
      {KEY_F24, {135, 0}, {135, 0}},
      {KEY_LEFTSHIFT, {16, 160}, {16, 160}},
      {KEY_RIGHTSHIFT, {16, 161}, {16, 161}},
      {KEY_LEFTCTRL, {17, 162}, {17, 162}},
      {KEY_RIGHTCTRL, {17, 163}, {17, 163}},
      {KEY_LEFTALT, {18, 164}, {18, 164}},
      {KEY_RIGHTALT, {18, 165}, {18, 165}},
      {KEY_UP, {38, 0}, {38, 0}},
      {KEY_LEFT, {37, 0}, {37, 0}},
      {KEY_SPACE, {32, 0}, {32, 0}},
      {KEY_TAB, {9, 0}, {9, 0}},
      {KEY_BACKSPACE, {8, 0}, {8, 0}},
      {KEY_DELETE, {46, 0}, {46, 0}},
      {KEY_CAPSLOCK, {20, 0}, {20, 0}},
      {KEY_SCROLLLOCK, {145, 0}, {145, 0}},
      {KEY_PAUSE, {19, 0}, {19, 0}},
      {KEY_SYSRQ, {44, 0}, {44, 0}},
      {KEY_LEFTMETA, {91, 0}, {91, 0}},
      {KEY_COMPOSE, {93, 0}, {93, 0}},
      // The keypad follows Num Lock, as on Windows.
      {KEY_KP7, {36, 0}, {103, 0}},
      {KEY_KP0, {45, 0}, {96, 0}},
      {KEY_KP5, {12, 0}, {101, 0}},
      {KEY_KPDOT, {46, 0}, {110, 0}},
      {KEY_KPASTERISK, {106, 0}, {106, 0}},
      {KEY_KPPLUS, {107, 0}, {107, 0}},
      {KEY_KPMINUS, {109, 0}, {109, 0}},
      {KEY_KPSLASH, {111, 0}, {111, 0}},
      {KEY_102ND, {226, 0}, {226, 0}},
      {KEY_RESERVED, {0, 0}, {0, 0}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(VirtualKeysOfInputCode(c.inputCode, false), c.numLockOff) << c.inputCode;
    EXPECT_EQ(VirtualKeysOfInputCode(c.inputCode, true), c.numLockOn) << c.inputCode;
  }
}

TEST(KeyTable, PunctuationKeysAgreeWithTheBindingTable) {
  // The key a US keyboard types each character of the binding grammar's
  // punctuation table with must report the code that table gives it.
  const std::pair<char, int> keys[] = {
      {'`', KEY_GRAVE},      {'-', KEY_MINUS},      {'=', KEY_EQUAL},       {'/', KEY_SLASH},
      {',', KEY_COMMA},      {'.', KEY_DOT},        {';', KEY_SEMICOLON},   {'[', KEY_LEFTBRACE},
      {'\\', KEY_BACKSLASH}, {']', KEY_RIGHTBRACE}, {'\'', KEY_APOSTROPHE},
  };
  for (auto [c, code] : keys) {
    EXPECT_EQ(VirtualKeysOfInputCode(code, false).vk, PunctuationKey(static_cast<unsigned char>(c)))
        << c;
  }
}

TEST(KeyTable, EveryLetterAndDigitHasExactlyOneKey) {
  KeycodeTable t = StandardKeycodeTable();
  const int vks[] = {'A', 'M', 'Z', '0', '5', '9', 112, 135, 16, 17, 18};
  for (int vk : vks) {
    int count = 0;
    for (const KeyVks& k : t.numLockOff) count += k.vk == vk;
    // The modifiers have a key on either side.
    EXPECT_EQ(count, vk >= 16 && vk <= 18 ? 2 : 1) << vk;
  }
}

std::array<uint8_t, 256> StatesWithDown(std::initializer_list<int> inputCodes, LockStates locks,
                                        const KeycodeTable& table = StandardKeycodeTable()) {
  std::array<uint8_t, 32> keymap{};
  for (int code : inputCodes) {
    int keycode = code + kXKeycodeOffset;
    keymap[static_cast<size_t>(keycode / 8)] |= static_cast<uint8_t>(1 << (keycode % 8));
  }
  std::array<uint8_t, 256> states{};
  states.fill(0x55);  // every entry must be written
  KeyStatesFromKeymap(keymap, table, locks, states);
  return states;
}

TEST(KeyStates, DownAndToggledBytes) {
  auto s = StatesWithDown({KEY_RIGHTSHIFT, KEY_I}, {});
  EXPECT_EQ(s[16], 128);
  EXPECT_EQ(s[161], 128);
  EXPECT_EQ(s[160], 0);
  EXPECT_EQ(s['I'], 128);
  EXPECT_EQ(s['J'], 0);
  EXPECT_EQ(s[144], 0);

  // Num Lock on and not held: exactly 1, which selects the small throttle step.
  s = StatesWithDown({}, {.numLock = true});
  EXPECT_EQ(s[144], 1);
  s = StatesWithDown({KEY_NUMLOCK}, {.numLock = true});
  EXPECT_EQ(s[144], 129);
  s = StatesWithDown({KEY_NUMLOCK}, {});
  EXPECT_EQ(s[144], 128);
  s = StatesWithDown({}, {.capsLock = true, .scrollLock = true});
  EXPECT_EQ(s[20], 1);
  EXPECT_EQ(s[145], 1);

  // Keypad 7: Home without Num Lock, NumPad7 with it.
  s = StatesWithDown({KEY_KP7}, {});
  EXPECT_EQ(s[36], 128);
  EXPECT_EQ(s[103], 0);
  s = StatesWithDown({KEY_KP7}, {.numLock = true});
  EXPECT_EQ(s[103], 128);
  EXPECT_EQ(s[36], 0);

  // A key of no virtual key, and the keycodes below 8, report nothing.
  std::array<uint8_t, 32> keymap{};
  keymap[0] = 0xFF;
  std::array<uint8_t, 256> states{};
  KeyStatesFromKeymap(keymap, StandardKeycodeTable(), {}, states);
  for (uint8_t b : states) EXPECT_EQ(b, 0);
}

TEST(KeyStates, LettersFollowTheLayout) {
  // A German keyboard: the key in the US Y position types Z and back.
  KeycodeTable t = StandardKeycodeTable();
  MoveLayoutKey(t, 'Z', KEY_Y + kXKeycodeOffset);
  MoveLayoutKey(t, 'Y', KEY_Z + kXKeycodeOffset);
  auto s = StatesWithDown({KEY_Y}, {}, t);
  EXPECT_EQ(s['Z'], 128);
  EXPECT_EQ(s['Y'], 0);
  s = StatesWithDown({KEY_Z}, {}, t);
  EXPECT_EQ(s['Y'], 128);
  EXPECT_EQ(s['Z'], 0);
}

TEST(KeyCharMap, KeypadCharactersNameKeypadKeys) {
  X11KeyCharMap map;
  NoKeyCharMap none;
  struct Case {
    std::string_view text;
    int32_t code;
    bool alt;
  };
  const Case cases[] = {{"*", 106, false},  {"[ALT]+", 107, true}, {"!", 0, false},
                        {"\xE9", 0, false}, {"a", 65, false},      {"[shift]/", 191, false}};
  for (const Case& c : cases) {
    Binding b;
    ASSERT_FALSE(ParseBinding(c.text, b, map).has_value()) << c.text;
    EXPECT_EQ(b.device, -1) << c.text;
    EXPECT_EQ(b.code, c.code) << c.text;
    EXPECT_EQ(b.alt, c.alt) << c.text;
  }
  EXPECT_EQ(map.VirtualKeyOfChar('#'), none.VirtualKeyOfChar('#'));
}

TEST(JoystickRecord, AxesReachBothEndsAndTheCentre) {
  struct Case {
    int16_t sdl;
    uint32_t raw;
    int32_t reading;  // what a binding on that axis reads
  };
  const Case cases[] = {
      {-32768, 0, -1000}, {-16384, 16383, -500}, {-1, 32766, 0},       {0, 32767, 0},
      {1, 32768, 0},      {16384, 49152, 500},   {32766, 65534, 1000}, {32767, 65535, 1000},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ScaleAxis(c.sdl), c.raw) << c.sdl;
    InputSnapshot in;
    in.joyInfo[3].dwYpos = ScaleAxis(c.sdl);
    EXPECT_EQ(ReadAxis(Binding{3, 1}, in), c.reading) << c.sdl;
  }
  // Monotone over the whole range.
  for (int v = -32768; v < 32767; ++v) {
    ASSERT_LE(ScaleAxis(static_cast<int16_t>(v)), ScaleAxis(static_cast<int16_t>(v + 1))) << v;
  }
}

TEST(JoystickRecord, HatDirectionsInHundredthsOfDegrees) {
  const std::pair<uint8_t, uint32_t> cases[] = {
      {0, 65535}, {1, 0},         {1 | 2, 4500}, {2, 9000},      {2 | 4, 13500},
      {4, 18000}, {4 | 8, 22500}, {8, 27000},    {8 | 1, 31500},
  };
  for (auto [hat, pov] : cases) EXPECT_EQ(PovOfHat(hat), pov) << int(hat);
}

TEST(JoystickRecord, FillsWordsLikeTheWindowsCall) {
  RawJoystick raw;
  raw.axisCount = 2;
  raw.axes = {-32768, 32767, 5, 5, 5, 5};
  raw.buttons = 0x80000001u;
  raw.pressedCount = 2;
  JoyInfoEx r;
  r.dwSize = 52;
  r.dwFlags = 255;
  r.dwReserved1 = 7;
  FillRecord(raw, r);
  EXPECT_EQ(r.dwSize, 52u);
  EXPECT_EQ(r.dwFlags, 255u);
  EXPECT_EQ(r.dwXpos, 0u);
  EXPECT_EQ(r.dwYpos, 65535u);
  EXPECT_EQ(r.dwZpos, 0u);  // axes the stick lacks read 0
  EXPECT_EQ(r.dwVpos, 0u);
  EXPECT_EQ(r.dwButtons, 0x80000001u);
  EXPECT_EQ(r.dwButtonNumber, 2u);
  EXPECT_EQ(r.dwPOV, 65535u);  // no hat: centred
  EXPECT_EQ(r.dwReserved1, 0u);
  raw.hasHat = true;
  raw.hat = 4;
  FillRecord(raw, r);
  EXPECT_EQ(r.dwPOV, 18000u);
}

TEST(JoystickIds, KeptForTheirDevice) {
  JoystickIds ids;
  JoystickIdentity a{"guidA", "SN1", "/dev/input/event5"};
  JoystickIdentity b{"guidB", "", "/dev/input/event6"};
  JoystickIdentity c{"guidC", "", "/dev/input/event7"};
  EXPECT_EQ(ids.Assign(a), 0);
  EXPECT_EQ(ids.Assign(b), 1);
  ids.Release(0);
  ids.Release(1);
  EXPECT_FALSE(ids.Connected(0));
  EXPECT_EQ(ids.Assign(c), 2);  // a new stick takes no id of an absent one
  // Back on other device paths: the serial, or the GUID alone, finds them.
  EXPECT_EQ(ids.Assign({"guidB", "", "/dev/input/event9"}), 1);
  EXPECT_EQ(ids.Assign({"guidA", "SN1", "/dev/input/event8"}), 0);
  EXPECT_TRUE(ids.Connected(0));
}

TEST(JoystickIds, TwinSticksWithoutSerialKeepTheirPaths) {
  JoystickIds ids;
  JoystickIdentity left{"twin", "", "/dev/input/event3"};
  JoystickIdentity right{"twin", "", "/dev/input/event4"};
  EXPECT_EQ(ids.Assign(left), 0);
  EXPECT_EQ(ids.Assign(right), 1);
  ids.Release(0);
  ids.Release(1);
  EXPECT_EQ(ids.Assign(right), 1);
  EXPECT_EQ(ids.Assign(left), 0);
  // Same serial on another GUID is another device.
  EXPECT_EQ(ids.Assign({"other", "SN", ""}), 2);
}

TEST(JoystickIds, SixteenAtMost) {
  JoystickIds ids;
  for (int i = 0; i < kJoystickCount; ++i) {
    EXPECT_EQ(ids.Assign({"g" + std::to_string(i), "", ""}), i);
  }
  EXPECT_EQ(ids.Assign({"late", "", ""}), -1);
  ids.Release(4);
  EXPECT_EQ(ids.Assign({"late", "", ""}), -1);  // id 4 stays with its stick
  EXPECT_EQ(ids.Assign({"g4", "", ""}), 4);
}

TEST(BoxText, Utf8KeptLatin1ConvertedLineBreaksJoined) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"'JOY' is not a valid integer value.", "'JOY' is not a valid integer value."},
      {"'\xC9T\xC9' is not a valid integer value.",
       "'\xC3\x89T\xC3\x89' is not a valid integer value."},
      {"'\xD0\x99\xD0\x9E' x.", "'\xD0\x99\xD0\x9E' x."},  // UTF-8 Cyrillic as written
      {"\xC0\xAF", "\xC3\x80\xC2\xAF"},                    // overlong form: not UTF-8
      {"Socket Error # 10054\r\nConnection reset by peer.",
       "Socket Error # 10054\nConnection reset by peer."},
      {"", ""},
      // Control bytes show as zq-check shows them, and nothing is cut at a NUL.
      {"a\rb\tc\x7F", "a?b?c?"},
      {std::string_view("'-1\0 0' x.", 10), "'-1? 0' x."},
  };
  for (auto [in, out] : cases) EXPECT_EQ(BoxText(in), out) << in;
}

// A script stands in for the box program: it takes the message, then ends
// as a box that could not be shown (exit 3) or one shown and closed (0).
std::string BoxStandIn(const std::string& name, int exitCode) {
  std::string path = ::testing::TempDir() + name + std::to_string(::getpid());
  FILE* f = std::fopen(path.c_str(), "w");
  std::fprintf(f, "#!/bin/sh\nhead -c 1 >/dev/null\nexit %d\n", exitCode);
  std::fclose(f);
  ::chmod(path.c_str(), 0755);
  return path;
}

TEST(LinuxErrorReport, ABoxThatCannotBeShownIsNotRetriedForAWhileThatGrows) {
  using namespace std::chrono_literals;
  auto reaped = [](LinuxErrorReport& r) {
    for (int i = 0; i < 1000 && r.BoxOpen(); ++i) {
      std::this_thread::sleep_for(5ms);
      r.Reap();
    }
    return !r.BoxOpen();
  };
  LinuxErrorReport failing("zq-unit", BoxStandIn("zq-box-fails-", 3), 1000ms);
  failing.ReportError("first");
  EXPECT_TRUE(failing.BoxOpen());
  failing.ReportError("second");  // one box at a time
  ASSERT_TRUE(reaped(failing));
  auto failed = std::chrono::steady_clock::now();
  // An error every tick starts nothing while the wait lasts.
  for (int i = 0; i < 5; ++i) {
    failing.ReportError("again");
    EXPECT_FALSE(failing.BoxOpen());
    std::this_thread::sleep_for(20ms);
  }
  std::this_thread::sleep_until(failed + 1050ms);
  failing.ReportError("after the wait");
  EXPECT_TRUE(failing.BoxOpen());
  ASSERT_TRUE(reaped(failing));
  // A second failure in a row waits twice as long.
  std::this_thread::sleep_for(1200ms);
  failing.ReportError("still within");
  EXPECT_FALSE(failing.BoxOpen());

  LinuxErrorReport shown("zq-unit", BoxStandIn("zq-box-shown-", 0), 1000ms);
  for (int i = 0; i < 3; ++i) {
    shown.ReportError("each");
    EXPECT_TRUE(shown.BoxOpen());
    ASSERT_TRUE(reaped(shown));
  }
}

// A child process that runs `setUp` and then waits to be killed: its pid
// once `setUp` succeeded there, else -1.
template <typename SetUp>
pid_t HoldingChild(SetUp setUp) {
  int ready[2];
  if (::pipe(ready) != 0) return -1;
  pid_t child = ::fork();
  if (child < 0) {
    ::close(ready[0]);
    ::close(ready[1]);
    return -1;
  }
  if (child == 0) {
    char ok = setUp() ? 1 : 0;
    (void)!::write(ready[1], &ok, 1);
    ::pause();
    _exit(0);
  }
  char ok = 0;
  bool told = ::read(ready[0], &ok, 1) == 1;
  ::close(ready[0]);
  ::close(ready[1]);
  if (told && ok == 1) return child;
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  return -1;
}

TEST(InstanceGuard, OneHolderAtATimeReleasedWhenTheProcessDies) {
  std::string name = "ZQ-unit-guard-" + std::to_string(::getpid());
  {
    InstanceGuard first;
    ASSERT_EQ(first.Acquire(name), InstanceGuard::Result::acquired);
    InstanceGuard second;
    EXPECT_EQ(second.Acquire(name), InstanceGuard::Result::otherCopyRuns);
  }
  // A holder killed outright still lets the next copy in.
  pid_t child = HoldingChild([&] {
    static InstanceGuard g;
    return g.Acquire(name) == InstanceGuard::Result::acquired;
  });
  ASSERT_GT(child, 0);
  InstanceGuard meanwhile;
  EXPECT_EQ(meanwhile.Acquire(name), InstanceGuard::Result::otherCopyRuns);
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  InstanceGuard after;
  EXPECT_EQ(after.Acquire(name), InstanceGuard::Result::acquired);
}

TEST(InstanceGuard, OneNamePerUserAndDisplay) {
  EXPECT_EQ(InstanceNameFor(1000, ":0"), "ZQ-test-joy/1000/:0");
  EXPECT_EQ(InstanceNameFor(1000, ":0.1"), "ZQ-test-joy/1000/:0");
  EXPECT_EQ(InstanceNameFor(1000, "unix:0"), "ZQ-test-joy/1000/:0");
  EXPECT_EQ(InstanceNameFor(0, "localhost:10.0"), "ZQ-test-joy/0/localhost:10");
  EXPECT_EQ(InstanceNameFor(0, nullptr), "ZQ-test-joy/0");
  EXPECT_EQ(InstanceNameFor(0, ""), "ZQ-test-joy/0");
  EXPECT_LE(InstanceNameFor(0, std::string(300, 'h').c_str()).size(), 104u);
}

// Any local user can bind any abstract name: one that another user holds
// neither stops this user's copy nor lets a second copy of it start.
TEST(InstanceGuard, ANameSquattedByAnotherUserDoesNotCount) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  std::string name = "ZQ-unit-squat-" + std::to_string(::getpid());
  pid_t child = HoldingChild([&] {
    // the squatter: another uid, the same name, listening and never answering
    if (::setresgid(65534, 65534, 65534) != 0 || ::setresuid(65534, 65534, 65534) != 0)
      return false;
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path + 1, name.data(), name.size());
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    auto len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
    return ::bind(fd, reinterpret_cast<const sockaddr*>(&addr), len) == 0 && ::listen(fd, 0) == 0;
  });
  ASSERT_GT(child, 0);
  {
    InstanceGuard first;
    EXPECT_EQ(first.Acquire(name), InstanceGuard::Result::acquired);
    InstanceGuard second;
    EXPECT_EQ(second.Acquire(name), InstanceGuard::Result::otherCopyRuns);
    InstanceGuard third;
    EXPECT_EQ(third.Acquire(name), InstanceGuard::Result::otherCopyRuns);
  }
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
}

// zq-setup finds this user's panel through its instance name, learns which
// file it reads and asks it to close; the request only wakes the panel's loop,
// which closes as its window's close would. Another user is neither answered
// nor asked, and a squatter of the name hears nothing.
TEST(InstanceGuard, TheSameUsersConfiguratorFindsThePanelAndAsksItToClose) {
  // A display of its own, so that no real panel of this user answers.
  const char* oldDisplay = std::getenv("DISPLAY");
  const std::string saved = oldDisplay != nullptr ? oldDisplay : "";
  const std::string display = "zq-unit-apply-" + std::to_string(::getpid()) + ":3";
  ::setenv("DISPLAY", display.c_str(), 1);
  const bool root = ::geteuid() == 0;
  const std::string name = InstanceNameFor(::getuid(), display.c_str());
  int heard[2] = {-1, -1};
  ASSERT_EQ(::pipe(heard), 0);
  pid_t squatter = -1;
  if (root) {
    squatter = HoldingChild([&] {
      if (::setresgid(65534, 65534, 65534) != 0 || ::setresuid(65534, 65534, 65534) != 0)
        return false;
      sockaddr_un addr;
      socklen_t len = InstanceAddress(name, addr);
      int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
      if (::bind(fd, reinterpret_cast<const sockaddr*>(&addr), len) != 0 || ::listen(fd, 8) != 0)
        return false;
      std::thread([fd, out = heard[1]] {
        while (true) {
          int c = ::accept(fd, nullptr, nullptr);
          char byte;
          if (c >= 0 && ::recv(c, &byte, 1, 0) == 1) (void)!::write(out, &byte, 1);
          if (c >= 0) ::close(c);
        }
      }).detach();
      return true;
    });
    ASSERT_GT(squatter, 0);
  }
  EXPECT_FALSE(FindPanel().running);
  EXPECT_EQ(ClosePanel(100), PanelClose::none);
  {
    InstanceGuard guard;
    ASSERT_EQ(guard.Acquire(), InstanceGuard::Result::acquired);
    guard.TellSetupFile("/home/p/flying/Setup.ini");
    RunningPanel found = FindPanel();
    EXPECT_TRUE(found.running && found.answers);
    EXPECT_EQ(found.pid, static_cast<long>(::getpid()));
    EXPECT_EQ(found.setupFile, "/home/p/flying/Setup.ini");
    EXPECT_FALSE(guard.TakeCloseRequest());
    // A later copy asks nothing: no request.
    InstanceGuard second;
    EXPECT_EQ(second.Acquire(), InstanceGuard::Result::otherCopyRuns);
    EXPECT_FALSE(guard.TakeCloseRequest());
    if (root) {
      // Another user connects to the panel's own name (the next one, past
      // the squatter's) and asks it to close.
      const std::string ours = InstanceNameAt(name, 2);
      pid_t stranger = ::fork();
      if (stranger == 0) {
        if (::setresgid(65534, 65534, 65534) != 0 || ::setresuid(65534, 65534, 65534) != 0)
          _exit(2);
        sockaddr_un addr;
        socklen_t len = InstanceAddress(ours, addr);
        int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&addr), len) != 0) _exit(3);
        (void)!::send(fd, kAskClose.data(), kAskClose.size(), MSG_NOSIGNAL);
        char reply[16];
        // No answer: closed, or reset with the request unread.
        _exit(::recv(fd, reply, sizeof reply, 0) <= 0 ? 0 : 1);
      }
      int status = -1;
      ::waitpid(stranger, &status, 0);
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
      EXPECT_FALSE(guard.TakeCloseRequest());
    }
    // Asked to close, the panel's loop is woken; this test is the loop and
    // stays, so the wait ends without it having gone.
    EXPECT_EQ(ClosePanel(100), PanelClose::stillRunning);
    pollfd p{guard.CloseRequests(), POLLIN, 0};
    EXPECT_EQ(::poll(&p, 1, 1000), 1);
    EXPECT_TRUE(guard.TakeCloseRequest());
    EXPECT_FALSE(guard.TakeCloseRequest());
  }
  EXPECT_FALSE(FindPanel().running);
  EXPECT_EQ(ClosePanel(100), PanelClose::none);
  if (root) {
    ::kill(squatter, SIGKILL);
    ::waitpid(squatter, nullptr, 0);
  }
  ::close(heard[1]);
  char byte;
  EXPECT_EQ(::read(heard[0], &byte, 1), 0) << "the squatter heard a request";
  ::close(heard[0]);
  if (oldDisplay != nullptr)
    ::setenv("DISPLAY", saved.c_str(), 1);
  else
    ::unsetenv("DISPLAY");
}

// The panel started for the configurator: the program and the file as
// given, in the file's folder, in a session of its own, holding none of the
// caller's descriptors; one that ends at once is reported, not "started".
TEST(PanelProcess, StartsDetachedInTheFilesFolderWithNothingOfTheCallers) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("zq-start-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir / "flying f16");
  const std::string file = (dir / "flying f16" / "Setup.ini").string();
  const std::string panel = (dir / "panel.sh").string();
  {
    std::ofstream script(panel);
    script << "#!/bin/sh\necho \"$@\" > \"$(dirname \"$2\")/args\"\nexec sleep 5\n";
  }
  fs::permissions(panel, fs::perms::owner_all);
  int leak[2];
  ASSERT_EQ(::pipe(leak), 0);  // inheritable, as a careless caller's would be
  PanelStart started = StartPanel(panel, file);
  ASSERT_TRUE(started.started) << started.problem;
  const std::string proc = "/proc/" + std::to_string(started.pid);
  EXPECT_EQ(fs::read_symlink(proc + "/cwd"), dir / "flying f16");
  std::ifstream stat(proc + "/stat");
  std::string statText((std::istreambuf_iterator<char>(stat)), {});
  std::istringstream fields(statText.substr(statText.rfind(')') + 2));
  std::string state;
  long ppid = 0, pgrp = 0, session = 0;
  fields >> state >> ppid >> pgrp >> session;
  EXPECT_EQ(session, started.pid) << "a session of its own";
  struct stat leaked {};
  ASSERT_EQ(::fstat(leak[0], &leaked), 0);
  for (const auto& fd : fs::directory_iterator(proc + "/fd")) {
    struct stat st {};
    if (::stat(fd.path().c_str(), &st) == 0) {
      EXPECT_FALSE(st.st_ino == leaked.st_ino && st.st_dev == leaked.st_dev) << fd.path();
    }
  }
  std::ifstream args(dir / "flying f16" / "args");
  std::string line;
  std::getline(args, line);
  EXPECT_EQ(line, "--setup " + file);
  ::kill(static_cast<pid_t>(started.pid), SIGKILL);
  ::close(leak[0]);
  ::close(leak[1]);

  PanelStart failed = StartPanel("/bin/false", file);
  EXPECT_FALSE(failed.started);
  EXPECT_NE(failed.problem.find("ended at once (exit status 1)"), std::string::npos)
      << failed.problem;
  PanelStart missing = StartPanel((dir / "none").string(), file);
  EXPECT_FALSE(missing.started);
  EXPECT_NE(missing.problem.find("cannot start"), std::string::npos) << missing.problem;
  fs::remove_all(dir);
}

TEST(LinuxTickTimer, ExpiriesMissedDuringALongTickComeAsOne) {
  LinuxTickTimer timer;
  std::string error;
  ASSERT_TRUE(timer.Start(kTickMilliseconds, error)) << error;
  std::this_thread::sleep_for(std::chrono::milliseconds(6 * kTickMilliseconds + 30));
  // All the expiries at once (a loaded machine only adds to them); the loop
  // runs one tick for them ...
  EXPECT_GE(timer.Consume(), 6u);
  // ... and none is left over to be made up.
  EXPECT_EQ(timer.Consume(), 0u);
}

TEST(TickSchedule, KeepsTheGridUnlessATickStartsLate) {
  struct Case {
    int64_t due, started, next;
  };
  const Case cases[] = {
      {1000, 1000, 1050},  // on time
      {1000, 998, 1050},   // a timer that fires a little early keeps the grid
      {1000, 1004, 1050},  // a wake-up's jitter: no drift
      {1000, 1005, 1050},  // a tenth of an interval late, still on the grid
      {1000, 1006, 1051},  // later: the grid moves, the next tick 45 after
      {1000, 1049, 1094},  // never bunched up behind a late tick
      {1000, 1120, 1165},  // after a long tick, the missed ones dropped
  };
  for (const Case& c : cases) {
    EXPECT_EQ(NextTickDue(c.due, c.started, 50), c.next) << c.due << " " << c.started;
  }
}

// The panel's loop: wait in poll(), one tick for whatever expiries passed.
// The fifth tick runs 120 ms. Checked by what happens in which order, and by
// lower bounds on time (a loaded machine only delays ticks); the cadence
// itself is measured by bench/cadence.sh.
TEST(LinuxTickTimer, ALongTickIsFollowedAtOnceThenTheCadenceResumesUnbunched) {
  using Clock = std::chrono::steady_clock;
  constexpr size_t kSlow = 4, kTicks = 14;
  LinuxTickTimer timer;
  std::string error;
  ASSERT_TRUE(timer.Start(kTickMilliseconds, error)) << error;
  std::vector<Clock::time_point> starts;
  std::vector<uint64_t> expiries;
  bool dueWhenTheLongTickEnded = false, dueAfterCatchUp = true;
  Clock::time_point longTickEnded;
  while (starts.size() < kTicks) {
    pollfd fd{timer.Fd(), POLLIN, 0};
    ASSERT_EQ(::poll(&fd, 1, 1000), 1) << "the timer stopped";
    uint64_t n = timer.Consume();
    if (n == 0) continue;
    starts.push_back(Clock::now());
    expiries.push_back(n);
    pollfd now{timer.Fd(), POLLIN, 0};
    if (starts.size() == kSlow + 1) {
      std::this_thread::sleep_for(std::chrono::milliseconds(120));
      // the next tick is due at once: the loop does not wait an interval more
      dueWhenTheLongTickEnded = ::poll(&now, 1, 0) == 1;
      longTickEnded = Clock::now();
    } else if (starts.size() == kSlow + 2) {
      // the catch-up tick took every missed expiry: none is due right after it
      dueAfterCatchUp = ::poll(&now, 1, 0) == 1;
    }
  }
  auto ms = [](Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); };
  // The expiries that passed during the long tick give one tick.
  EXPECT_GE(expiries[kSlow + 1], 2u);
  EXPECT_TRUE(dueWhenTheLongTickEnded);
  EXPECT_FALSE(dueAfterCatchUp);
  // No catch-up burst: the ticks after the catch-up one keep at least 40 ms
  // apart on average, counted from the end of the long tick.
  const size_t after = kTicks - (kSlow + 2);
  EXPECT_GE(ms(starts.back() - longTickEnded), 40.0 * static_cast<double>(after));
}

}  // namespace
}  // namespace zq

// The Windows platform layer against the real system calls (run under wine in
// the cross build): key-state byte, joystick poll, key mapping, the settings
// file of the working directory, the Winsock sender.
#include <gtest/gtest.h>
#include <windows.h>
#include <winsock2.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/error_report.h"
#include "config/binding.h"
#include "control/command_message.h"
#include "input/probe_report.h"
#include "platform/win32/win32_error_box.h"
#include "platform/win32/win32_input.h"
#include "platform/win32/win32_keyboard.h"
#include "platform/win32/win32_profile.h"
#include "platform/win32/win32_stick_identity.h"
#include "platform/win32/win32_udp.h"

namespace zq {
namespace {

TEST(Win32Keys, ByteTakesDownFromTheAsyncStateAndToggleFromTheThreadState) {
  struct Case {
    uint16_t async, thread;
    uint8_t byte;
  };
  const Case cases[] = {
      {0x0000, 0x0000, 0},   {0x0000, 0x0001, 1},   {0x8000, 0x0000, 128},
      {0x8000, 0x0001, 129}, {0x8001, 0x0000, 128},  // async bit 0: pressed since last call
      {0x0001, 0x0000, 0},   {0x0000, 0xFF80, 0},    // thread says down: not used
      {0x0000, 0xFF81, 1},   {0xFFFF, 0xFFFF, 129},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ComposeKeyState(static_cast<int16_t>(c.async), static_cast<int16_t>(c.thread)),
              c.byte)
        << std::hex << c.async << " " << c.thread;
  }
}

TEST(Win32Joystick, AStickThatDoesNotAnswerLeavesItsRecordAlone) {
  Win32InputDevices devices;
  // This machine has no joystick: every id fails, whatever the id.
  for (int id : {0, 1, 15, 16, 255}) {
    JoyInfoEx record;
    record.dwSize = sizeof record;
    record.dwFlags = kJoyReturnAll;
    for (int w = 0; w < JoyInfoEx::kWords; ++w) record.SetWord(w, 0xA5A50000u + w);
    JoyInfoEx before = record;
    EXPECT_FALSE(devices.PollJoystick(id, record)) << id;
    for (int w = 0; w < JoyInfoEx::kWords; ++w) EXPECT_EQ(record.Word(w), before.Word(w)) << id;
  }
}

// The joystick OEM keys as a player's system holds them, here for a made-up
// driver key, written from outside the program by the system's own `reg add`
// (wine's under wine); removed again by the test.
void WriteRegistryText(const char* root, const std::string& subKey, const char* name,
                       const char* text) {
  std::string command = std::string("reg add \"") + root + "\\" + subKey + "\" /v " + name +
                        " /t REG_SZ /d \"" + text + "\" /f";
  STARTUPINFOA start{};
  start.cb = sizeof start;
  PROCESS_INFORMATION process{};
  ASSERT_TRUE(CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                             nullptr, nullptr, &start, &process))
      << command << ": error " << GetLastError();
  ASSERT_EQ(WaitForSingleObject(process.hProcess, 60000), WAIT_OBJECT_0) << command;
  DWORD code = 1;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  ASSERT_EQ(code, 0u) << command;
}

TEST(Win32Joystick, IdentityReadsTheOemNameFromTheUsersKeysThenTheMachines) {
  const std::string driver = "zq-test-driver";
  const std::string config = "System\\CurrentControlSet\\Control\\MediaResources\\Joystick\\" +
                             driver + "\\CurrentJoystickSettings";
  const std::string oem =
      "System\\CurrentControlSet\\Control\\MediaProperties\\PrivateProperties\\Joystick\\"
      "OEM\\";
  WriteRegistryText("HKCU", config, "Joystick1OEMName", "VID_044F&PID_B10A");
  WriteRegistryText("HKLM", oem + "VID_044F&PID_B10A", "OEMName", "Flight Stick");
  WriteRegistryText("HKLM", config, "Joystick2OEMName", "VID_06A3&PID_0763");
  EXPECT_EQ(JoystickOemName(driver, 0), "Flight Stick");  // HKCU's settings, HKLM's name
  EXPECT_EQ(JoystickOemName(driver, 1), "");              // no OEM key of that name
  EXPECT_EQ(JoystickOemName(driver, 2), "");
  EXPECT_EQ(JoystickOemName("", 0), "");
  WriteRegistryText("HKCU", oem + "VID_044F&PID_B10A", "OEMName", "My Stick");
  EXPECT_EQ(JoystickOemName(driver, 0), "My Stick");  // the user's own name first
  RegDeleteTreeA(HKEY_CURRENT_USER, ("System\\CurrentControlSet\\Control\\MediaResources\\"
                                     "Joystick\\" +
                                     driver)
                                        .c_str());
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, ("System\\CurrentControlSet\\Control\\MediaResources\\"
                                      "Joystick\\" +
                                      driver)
                                         .c_str());
  RegDeleteTreeA(HKEY_CURRENT_USER, (oem + "VID_044F&PID_B10A").c_str());
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, (oem + "VID_044F&PID_B10A").c_str());

  // No stick: nothing listed, nothing that tells anything, no crash.
  Win32InputDevices devices;
  std::array<PresentStick, 16> present{};
  EXPECT_EQ(devices.ListSticks(present), 0);
  EXPECT_TRUE(devices.SticksChanged());  // the first look
  for (int t = 0; t < 40; ++t) EXPECT_FALSE(devices.SticksChanged());
  EXPECT_FALSE(Win32StickIdentity(0).HasIds());
  EXPECT_EQ(ProbePinLine(0, Win32StickIdentity(0)),
            "    (the system gives no VID:PID for this stick: it cannot be pinned in [sticks])");
}

TEST(Win32KeyMap, NonLetterCharactersGoThroughTheLayoutsCharacterOfThatVirtualKey) {
  if (LOWORD(reinterpret_cast<uintptr_t>(GetKeyboardLayout(0))) != 0x0409) {
    GTEST_SKIP() << "the expected codes are those of the US keyboard layout";
  }
  Win32KeyCharMap keyMap;
  struct Case {
    const char* text;
    int32_t code;
  };
  // The character's code is taken as a virtual-key code and the result is
  // that key's unshifted character: the grammar's rule, odd as it looks.
  const Case cases[] = {
      {"\xBA", ';'},  // VK_OEM_1 is the ';' key
      {"\xBF", '/'}, {"\xDE", '\''}, {"\xC0", '`'},
      {"\xBD", '-'}, {"+", 0},  // 43 is VK_EXECUTE, which types nothing
      {"!", 0},      {"*", 0},       {"~", 0},
      {"a", 'A'},    {"7", '7'},     {";", 186},  // own codes and the table
  };
  for (const Case& c : cases) {
    Binding b;
    ASSERT_FALSE(ParseBinding(c.text, b, keyMap).has_value()) << c.text;
    EXPECT_EQ(b.device, kKeyboard);
    EXPECT_EQ(b.code, c.code) << testing::PrintToString(std::string(c.text));
  }
}

class Win32SettingsFile : public testing::Test {
 protected:
  void SetUp() override {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    dir_ = std::string(temp) + "zq_settings_" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(dir_.c_str(), nullptr);
    GetCurrentDirectoryA(MAX_PATH, oldDir_);
    ASSERT_TRUE(SetCurrentDirectoryA(dir_.c_str()));
  }
  void TearDown() override {
    SetCurrentDirectoryA(oldDir_);
    DeleteFileA((dir_ + "\\Setup.ini").c_str());
    RemoveDirectoryA(dir_.c_str());
  }
  void Write(const std::string& text) {
    FILE* f = std::fopen((dir_ + "\\Setup.ini").c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
  }
  std::string dir_;
  char oldDir_[MAX_PATH] = {};
};

TEST_F(Win32SettingsFile, ReadsSetupIniOfTheWorkingDirectoryAnewAtEveryLookup) {
  Win32ProfileSettings settings;
  EXPECT_EQ(settings.ReadText("main", "Y", "0 100"), "0 100");  // no file: defaults
  EXPECT_FALSE(settings.HasKey("main", "Y1"));

  Write("[Main]\r\ny1=\r\nY=0 40 70\r\nWindowX=0x20\r\n");
  EXPECT_EQ(settings.ReadText("main", "Y", "0 100"), "0 40 70");
  EXPECT_EQ(settings.ReadText("main", "Y1", "0 100"), "");  // present and empty
  EXPECT_TRUE(settings.HasKey("main", "Y1"));
  EXPECT_FALSE(settings.HasKey("main", "Y2"));
  EXPECT_EQ(ReadInt(settings, "main", "WindowX", -1), 32);

  Write("[main]\r\nY=" + std::string(3000, '5') + "\r\n");
  EXPECT_EQ(settings.ReadText("main", "Y", ""), std::string(2047, '5'));
  EXPECT_FALSE(settings.HasKey("main", "Y1"));
}

class Win32Sender : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(winsock_.Start(), 0);
    listener_ = socket(AF_INET, SOCK_DGRAM, 0);
    ASSERT_NE(listener_, INVALID_SOCKET);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(listener_, reinterpret_cast<sockaddr*>(&at), sizeof at), 0);
    int size = sizeof at;
    getsockname(listener_, reinterpret_cast<sockaddr*>(&at), &size);
    port_ = ntohs(at.sin_port);
    DWORD timeoutMs = 5000;
    setsockopt(listener_, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeoutMs),
               sizeof timeoutMs);
  }
  void TearDown() override {
    if (listener_ != INVALID_SOCKET) closesocket(listener_);
  }
  // One datagram and the port it came from.
  std::string Receive(uint16_t& fromPort) {
    char buf[2048];
    sockaddr_in from{};
    int size = sizeof from;
    int n = recvfrom(listener_, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &size);
    if (n < 0) return "<nothing: " + std::to_string(WSAGetLastError()) + ">";
    fromPort = ntohs(from.sin_port);
    return std::string(buf, static_cast<size_t>(n));
  }
  WinsockSession winsock_;
  SOCKET listener_ = INVALID_SOCKET;
  uint16_t port_ = 0;
};

TEST_F(Win32Sender, SendsTheExactBytesFromOneSocketKeptForTheRun) {
  Win32UdpSender sender(port_);
  const std::string first = "R/87\\-1", second = "R/81\\0.09/87\\-0.37/89\\0.05/83\\-0.60";
  ASSERT_TRUE(sender.Send(first.data(), first.size()).Ok());
  ASSERT_TRUE(sender.Send(second.data(), second.size()).Ok());
  uint16_t port1 = 0, port2 = 0;
  EXPECT_EQ(Receive(port1), first);
  EXPECT_EQ(Receive(port2), second);
  EXPECT_EQ(port1, port2);  // the same socket, not one per message
  sender.Close();
  ASSERT_TRUE(sender.Send(first.data(), first.size()).Ok());  // a new one after Close
  EXPECT_EQ(Receive(port1), first);
}

TEST_F(Win32Sender, FailuresCarryTheWinsockCodeIntoTheErrorText) {
  Win32UdpSender sender(port_);
  std::string huge(70000, 'R');
  SendResult result = sender.Send(huge.data(), huge.size());
  EXPECT_EQ(result.kind, SendResult::Kind::sendFailed);
  EXPECT_EQ(result.code, WSAEMSGSIZE);
  EXPECT_EQ(SendFailureText(result).View(), "Package Size Too Big.");
  // The socket survives a failed send.
  ASSERT_TRUE(sender.Send("R/81\\1.00", 9).Ok());
  uint16_t from = 0;
  EXPECT_EQ(Receive(from), "R/81\\1.00");
}

TEST(Win32SenderStart, ASocketThatCannotBeMadeIsTriedAgainAtTheNextSend) {
  // Without the socket layer started no socket can be made.
  while (WSACleanup() == 0) {
  }
  Win32UdpSender sender(9);  // nothing needs to listen: the send itself is the test
  SendResult result = sender.Send("R/87\\-1", 7);
  EXPECT_EQ(result.kind, SendResult::Kind::noSocket);
  EXPECT_EQ(SendFailureText(result).View(), "Cannot allocate socket.");
  WinsockSession session;
  ASSERT_EQ(session.Start(), 0);
  EXPECT_TRUE(sender.Send("R/87\\-1", 7).Ok());
}

TEST(Win32ErrorReport, TitleIsTheExecutablesNameCutAtItsFirstDot) {
  std::string path = ExecutablePath();
  ASSERT_FALSE(path.empty());
  // This test program is zq_win32_tests.exe.
  EXPECT_EQ(ProgramTitle(path), "zq_win32_tests");
}

}  // namespace
}  // namespace zq

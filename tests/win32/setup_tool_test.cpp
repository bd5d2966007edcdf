// zq-setup.exe on a file saved by a Windows editor as "Unicode" (UTF-16 LE
// with its byte-order mark, CR LF): the edit keeps encoding and line ends,
// and the system's own profile call reads the new values.
#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <iterator>
#include <string>

#include "platform/win32/win32_profile.h"

namespace zq {
namespace {

std::string WinPath(std::string path) {
  if (!path.empty() && path.front() == '/') path = "Z:" + path;  // the Linux root under wine
  return path;
}

std::string Utf16Le(const std::string& ascii) {
  std::string out = "\xFF\xFE";
  for (char c : ascii) out += std::string{c, '\0'};
  return out;
}

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Runs zq-setup.exe with `args` in `dir`; its exit status.
DWORD RunSetup(const std::string& dir, const std::string& args) {
  std::string command = "\"" + WinPath(ZQ_SETUP_EXE) + "\" " + args;
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, dir.c_str(),
                      &si, &pi)) {
    ADD_FAILURE() << "cannot start " << command << ": error " << GetLastError();
    return 255;
  }
  WaitForSingleObject(pi.hProcess, 120000);
  DWORD status = 255;
  GetExitCodeProcess(pi.hProcess, &status);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return status;
}

TEST(SetupTool, SetOnAUtf16CrLfFileKeepsItsFormAndTheSystemReadsTheNewValues) {
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  std::string dir = std::string(temp) + "zq-setup-tool";
  CreateDirectoryA(dir.c_str(), nullptr);
  const std::string path = dir + "\\Setup.ini";
  DeleteFileA((path + ".bak").c_str());
  const std::string before = Utf16Le(
      "; saved by Notepad\r\n[main]\r\nYaxis=0 1\r\nfire = 0 2 \r\n\r\n[other]\r\nYaxis=9\r\n");
  std::ofstream(path, std::ios::binary) << before;

  ASSERT_EQ(RunSetup(dir, "set \"FIRE=0 5\" WindowX=40"), 0u);
  EXPECT_EQ(ReadBytes(path),
            Utf16Le("; saved by Notepad\r\n[main]\r\nYaxis=0 1\r\nfire = 0 5 \r\nWindowX=40\r\n"
                    "\r\n[other]\r\nYaxis=9\r\n"));
  EXPECT_EQ(ReadBytes(path + ".bak"), before);
  Win32ProfileSettings system(path);
  EXPECT_EQ(system.ReadText("main", "Fire", "<def>"), "0 5");
  EXPECT_EQ(system.ReadText("main", "WindowX", "<def>"), "40");
  EXPECT_EQ(system.ReadText("main", "Yaxis", "<def>"), "0 1");
  EXPECT_EQ(system.ReadText("other", "Yaxis", "<def>"), "9");

  // refused: nothing written
  EXPECT_EQ(RunSetup(dir, "set \"Yaxis= 0 2\""), 2u);
  EXPECT_EQ(system.ReadText("main", "Yaxis", "<def>"), "0 1");
  // a read-only file is left alone
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(RunSetup(dir, "set WindowX=41"), 2u);
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(system.ReadText("main", "WindowX", "<def>"), "40");

  ASSERT_EQ(RunSetup(dir, "unset windowx"), 0u);
  EXPECT_EQ(system.ReadText("main", "WindowX", "<def>"), "<def>");
  EXPECT_EQ(ReadBytes(path).substr(0, 2), "\xFF\xFE");
}

}  // namespace
}  // namespace zq

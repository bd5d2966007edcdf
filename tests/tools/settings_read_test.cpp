// The settings file as the Linux panel and the tools read it: once, bounded,
// never waiting on a FIFO, and naming why a file cannot be read.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "config/settings_snapshot.h"
#include "kit/scratch_folder.h"

namespace zq {
namespace {

namespace fs = std::filesystem;

class SettingsRead : public test::ScratchFolder {
 protected:
  SettingsRead() : ScratchFolder("zq-settings-read-" + std::to_string(::getpid()) + "-") {}
  std::string At(const char* name) const { return (dir_ / name).string(); }
  void Write(const char* name, const std::string& text) const {
    std::ofstream(At(name), std::ios::binary) << text;
  }
};

TEST_F(SettingsRead, NamesWhyAFileCannotBeRead) {
  fs::create_directory(At("folder"));
  ASSERT_EQ(::mkfifo(At("fifo").c_str(), 0600), 0);
  fs::create_symlink("/dev/zero", At("zero"));
  fs::create_symlink(At("loop-b"), At("loop-a"));
  fs::create_symlink(At("loop-a"), At("loop-b"));
  fs::create_symlink(At("nothing"), At("dangling"));
  Write("plain", "x");
  struct Case {
    const char* name;
    SettingsFileState state;
    const char* cause;
  } cases[] = {
      {"absent", SettingsFileState::missing, "no such file"},
      {"dangling", SettingsFileState::missing, "no such file"},
      {"plain/below", SettingsFileState::missing, "no such file"},
      {"folder", SettingsFileState::directory, "it is a directory"},
      {"fifo", SettingsFileState::notRegularFile, "it is a FIFO, not a regular file"},
      {"zero", SettingsFileState::notRegularFile, "it is a character device, not a regular file"},
      {"loop-a", SettingsFileState::symlinkLoop, "a loop of symbolic links"},
  };
  for (const Case& c : cases) {
    SettingsFileText f = ReadSettingsFile(At(c.name));
    EXPECT_EQ(f.state, c.state) << c.name;
    EXPECT_EQ(SettingsFileCause(f), c.cause) << c.name;
    EXPECT_TRUE(f.text.empty()) << c.name;
  }
}

TEST_F(SettingsRead, AnUnreadableFileIsPermissionDenied) {
  if (::geteuid() == 0)
    GTEST_SKIP() << "root reads every file (the panel suite runs this as nobody)";
  Write("secret", "[main]\n");
  fs::permissions(At("secret"), fs::perms::none);
  SettingsFileText f = ReadSettingsFile(At("secret"));
  EXPECT_EQ(f.state, SettingsFileState::permissionDenied);
  EXPECT_EQ(SettingsFileCause(f), "permission denied");
}

TEST_F(SettingsRead, ReadsUpToTheLimitAndRefusesMore) {
  Write("ok", "[main]\r\nY=0 50\r\n");
  SettingsFileText f = ReadSettingsFile(At("ok"), 16);
  ASSERT_EQ(f.state, SettingsFileState::read);
  EXPECT_EQ(f.text, "[main]\r\nY=0 50\r\n");
  f = ReadSettingsFile(At("ok"), 15);
  EXPECT_EQ(f.state, SettingsFileState::tooLarge);
  EXPECT_EQ(f.size, 16u);
  EXPECT_TRUE(f.text.empty());
  // A system file that says it has 0 bytes is still read only up to the limit.
  f = ReadSettingsFile("/proc/self/maps", 8);
  EXPECT_EQ(f.state, SettingsFileState::tooLarge);
}

TEST_F(SettingsRead, TheSnapshotAnswersFromOneReading) {
  Write("Setup.ini", "[main]\nY=0 50\n");
  SettingsSnapshot s = TakeSettingsSnapshot(At("Setup.ini"));
  Write("Setup.ini", "[main]\nY=0 20\n");  // edited after the start: not seen
  EXPECT_EQ(s.ReadText("main", "Y", "0 100"), "0 50");
  EXPECT_TRUE(s.Read());
  fs::remove(At("Setup.ini"));
  EXPECT_EQ(s.ReadText("main", "Y", "0 100"), "0 50");
}

}  // namespace
}  // namespace zq

// Saving a settings file: the backup, the changed-on-disk refusal, a
// read-only file, and failures injected at every step of a save, which must
// leave the file and its backup as they were.
#include "config/settings_store.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "kit/scratch_folder.h"
#include "settings_edit_kit.h"

namespace zq {
namespace {

namespace fs = std::filesystem;
using testkit::ReadBytes;
using testkit::WriteBytes;

class SettingsStoreTest : public test::ScratchFolder {
 protected:
  SettingsStoreTest() : ScratchFolder("zq-store-") {}
  size_t FilesInDir() const {
    return static_cast<size_t>(
        std::distance(fs::directory_iterator(dir_), fs::directory_iterator()));
  }
  std::unique_ptr<FileOps> ops_ = MakePlatformFileOps();
};

TEST_F(SettingsStoreTest, SavesOverTheFileAndKeepsTheOldOneAsBackup) {
  WriteBytes(path_, "[main]\r\nY=1\r\n");
  SettingsEditor editor(*ops_, path_);
  ASSERT_EQ(editor.Open(), "");
  ASSERT_TRUE(editor.Exists());
  ASSERT_TRUE(editor.Document().Set("main", "Y", "2").ok());
  ASSERT_EQ(editor.Save(), "");
  EXPECT_EQ(ReadBytes(path_), "[main]\r\nY=2\r\n");
  EXPECT_EQ(ReadBytes(path_ + ".bak"), "[main]\r\nY=1\r\n");
  // a second save from the same reading: the editor knows its own write
  ASSERT_TRUE(editor.Document().Set("main", "Y", "3").ok());
  ASSERT_EQ(editor.Save(), "");
  EXPECT_EQ(ReadBytes(path_ + ".bak"), "[main]\r\nY=2\r\n");
  EXPECT_EQ(FilesInDir(), 2u);  // no temporary file left
}

#ifndef _WIN32
TEST_F(SettingsStoreTest, ALinkedFileIsSavedWhereItLivesAndStaysLinked) {
  fs::create_directories(dir_ / "real");
  const fs::path real = dir_ / "real" / "Setup.ini";
  WriteBytes(real, "[main]\nY=1\n");
  fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  fs::create_symlink(real, path_);
  SettingsEditor editor(*ops_, path_);
  ASSERT_EQ(editor.Open(), "");
  ASSERT_TRUE(editor.Document().Set("main", "Y", "2").ok());
  ASSERT_EQ(editor.Save(), "");
  EXPECT_TRUE(fs::is_symlink(path_));
  EXPECT_EQ(ReadBytes(real), "[main]\nY=2\n");
  EXPECT_EQ(fs::status(real).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}
#endif

TEST_F(SettingsStoreTest, CreatesAMissingFileWithoutBackup) {
  SettingsEditor editor(*ops_, path_);
  ASSERT_EQ(editor.Open(), "");
  EXPECT_FALSE(editor.Exists());
  editor.StartNew("; new\n");
  ASSERT_TRUE(editor.Document().Set("main", "Y", "1").ok());
  ASSERT_EQ(editor.Save(), "");
  EXPECT_EQ(ReadBytes(path_), "; new\n[main]\nY=1\n");
  EXPECT_FALSE(fs::exists(path_ + ".bak"));
}

TEST_F(SettingsStoreTest, RefusesAFileChangedOnDiskSinceItWasRead) {
  struct Change {
    const char* what;
    void (*apply)(const std::string& path);
  };
  const Change changes[] = {
      {"content, same size", [](const std::string& p) { WriteBytes(p, "[main]\nY=9\n"); }},
      {"size", [](const std::string& p) { WriteBytes(p, "[main]\nY=10\n"); }},
      {"time only",
       [](const std::string& p) {
         fs::last_write_time(p, fs::last_write_time(p) - std::chrono::hours(1));
       }},
      {"removed", [](const std::string& p) { fs::remove(p); }},
  };
  for (const Change& c : changes) {
    WriteBytes(path_, "[main]\nY=1\n");
    fs::remove(path_ + ".bak");
    SettingsEditor editor(*ops_, path_);
    ASSERT_EQ(editor.Open(), "");
    ASSERT_TRUE(editor.Document().Set("main", "Y", "2").ok());
    c.apply(path_);
    std::string onDisk = fs::exists(path_) ? ReadBytes(path_) : "<none>";
    EXPECT_NE(editor.ChangedOnDisk(), "") << c.what;
    std::string message = editor.Save();
    EXPECT_NE(message.find("since it was read"), std::string::npos) << c.what << ": " << message;
    EXPECT_EQ(fs::exists(path_) ? ReadBytes(path_) : "<none>", onDisk) << c.what;
    EXPECT_FALSE(fs::exists(path_ + ".bak")) << c.what;
  }
  // created by someone else while a new one was being made
  fs::remove(path_);
  SettingsEditor editor(*ops_, path_);
  ASSERT_EQ(editor.Open(), "");
  WriteBytes(path_, "theirs");
  EXPECT_NE(editor.Save().find("created"), std::string::npos);
  EXPECT_EQ(ReadBytes(path_), "theirs");
}

TEST_F(SettingsStoreTest, ReadOnlyFileIsLeftAlone) {
  WriteBytes(path_, "[main]\nY=1\n");
  fs::permissions(path_, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  SettingsEditor editor(*ops_, path_);
  ASSERT_EQ(editor.Open(), "");
  ASSERT_TRUE(editor.Document().Set("main", "Y", "2").ok());
  std::string message = editor.Save();
  EXPECT_NE(message.find("read-only"), std::string::npos) << message;
  EXPECT_EQ(ReadBytes(path_), "[main]\nY=1\n");
  EXPECT_FALSE(fs::exists(path_ + ".bak"));
}

TEST_F(SettingsStoreTest, RefusesToReadWhatIsNoSettingsFile) {
  fs::create_directories(path_);
  SettingsEditor editor(*ops_, path_);
  EXPECT_NE(editor.Open().find("directory"), std::string::npos);
  fs::remove(path_);
  WriteBytes(path_, "");
  fs::resize_file(path_, kMaxSettingsBytes + 1);
  EXPECT_NE(editor.Open().find("too large"), std::string::npos);
}

// The platform's calls, one of which fails: the new text's temporary file
// (half written, then the disk is full), the backup's, or either replace.
class FailingOps : public FileOps {
 public:
  FailingOps(FileOps& real, int failAt, FileFault fault)
      : real_(real), failAt_(failAt), fault_(fault) {}
  FileOutcome Read(const std::string& p, uint64_t limit, std::string& b, FileInfo& i) override {
    return real_.Read(p, limit, b, i);
  }
  FileOutcome WriteTemp(const std::string& near, std::string_view bytes,
                        std::string& temp) override {
    if (++step_ != failAt_) return real_.WriteTemp(near, bytes, temp);
    real_.WriteTemp(near, bytes.substr(0, bytes.size() / 2), temp);
    return {fault_, "injected"};
  }
  FileOutcome Replace(const std::string& from, const std::string& to) override {
    if (++step_ == failAt_) return {fault_, "injected"};
    return real_.Replace(from, to);
  }
  void Remove(const std::string& path) override { real_.Remove(path); }

 private:
  FileOps& real_;
  int failAt_;
  FileFault fault_;
  int step_ = 0;
};

TEST_F(SettingsStoreTest, AFailureHalfwayLeavesFileAndBackupIntact) {
  const std::string original = "; mine\r\n[main]\r\nY=1\r\n";
  const std::string oldBackup = "[main]\r\nY=0\r\n";
  // steps: 1 new text's temp, 2 backup's temp, 3 backup replace, 4 file replace
  for (int step = 1; step <= 4; ++step) {
    for (FileFault fault : {FileFault::noSpace, FileFault::noPermission}) {
      WriteBytes(path_, original);
      WriteBytes(path_ + ".bak", oldBackup);
      FailingOps failing(*ops_, step, fault);
      SettingsEditor editor(failing, path_);
      ASSERT_EQ(editor.Open(), "");
      ASSERT_TRUE(editor.Document().Set("main", "Y", "2").ok());
      std::string message = editor.Save();
      EXPECT_NE(message.find(fault == FileFault::noSpace ? "disk is full" : "no permission"),
                std::string::npos)
          << step << ": " << message;
      EXPECT_NE(message.find("is unchanged"), std::string::npos) << message;
      EXPECT_EQ(ReadBytes(path_), original) << "step " << step;
      std::string backup = ReadBytes(path_ + ".bak");
      // before its replace the old backup stays; after it, it is the original
      EXPECT_EQ(backup, step <= 3 ? oldBackup : original) << "step " << step;
      EXPECT_EQ(FilesInDir(), 2u) << "step " << step << ": a temporary file was left";
    }
  }
}

}  // namespace
}  // namespace zq

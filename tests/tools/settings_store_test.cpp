// Saving a settings file: the backup, the changed-on-disk refusal, a
// read-only file, and failures injected at every step of a save, which must
// leave the file and its backup as they were.
#include "config/settings_store.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

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

// The profile folder's calls: a new name never replaces what has it, a
// folder is reached by its name in the one held, and an editor bound to a
// profile that way reads and saves it there with its backup.
TEST_F(SettingsStoreTest, ProfileCallsNeverReplaceAndSaveInTheFolderFound) {
  WriteBytes(path_, "[main]\nY=1\n");
  WriteBytes(dir_ / "a10.ini", "[main]\nY=2\n");
  std::unique_ptr<SettingsFolder> root;
  std::string name;
  ASSERT_TRUE(ops_->OpenFolder(path_, root, name).ok());
  EXPECT_FALSE(root->RenameNew(name, "a10.ini").ok());
  EXPECT_EQ(ReadBytes(dir_ / "a10.ini"), "[main]\nY=2\n");
  EXPECT_EQ(ReadBytes(path_), "[main]\nY=1\n");
  ASSERT_TRUE(root->MakeFolder("f16").ok());
  EXPECT_FALSE(root->MakeFolder("f16").ok());
  std::vector<FolderEntry> entries;
  ASSERT_TRUE(root->List(entries, 100).ok());
  bool sawFolder = false;
  for (const FolderEntry& e : entries) sawFolder |= e.name == "f16" && e.folder;
  EXPECT_TRUE(sawFolder);

  std::shared_ptr<SettingsFolder> held = std::move(root);
  SettingsEditor editor(*ops_, "elsewhere/f16/Setup.ini");
  editor.Rebind("f16/Setup.ini", [held](std::unique_ptr<SettingsFolder>& f, std::string& n) {
    n = "Setup.ini";
    return held->OpenSub("f16", f);
  });
  ASSERT_EQ(editor.Open(), "");
  EXPECT_FALSE(editor.Exists());
  editor.StartNew("[main]\nY=3\n");
  ASSERT_EQ(editor.Save(), "");
  ASSERT_TRUE(editor.Document().Set("main", "Y", "4").ok());
  ASSERT_EQ(editor.Save(), "");
  EXPECT_EQ(ReadBytes(dir_ / "f16" / "Setup.ini"), "[main]\nY=4\n");
  EXPECT_EQ(ReadBytes(dir_ / "f16" / "Setup.ini.bak"), "[main]\nY=3\n");
}

#ifndef _WIN32
TEST_F(SettingsStoreTest, ProfileCallsNeitherListNorEnterALink) {
  fs::create_directories(dir_ / "elsewhere");
  WriteBytes(dir_ / "elsewhere" / "Setup.ini", "[main]\n");
  WriteBytes(path_, "[main]\n");
  fs::create_directory_symlink(dir_ / "elsewhere", dir_ / "linked");
  fs::create_symlink(dir_ / "elsewhere" / "Setup.ini", dir_ / "evil.ini");
  std::unique_ptr<SettingsFolder> root, sub;
  std::string name;
  ASSERT_TRUE(ops_->OpenFolder(path_, root, name).ok());
  std::vector<FolderEntry> entries;
  ASSERT_TRUE(root->List(entries, 100).ok());
  for (const FolderEntry& e : entries) EXPECT_TRUE(e.name != "linked" && e.name != "evil.ini");
  EXPECT_EQ(root->OpenSub("linked", sub).fault, FileFault::notRegular);
  EXPECT_FALSE(root->MakeFolder("linked").ok());
  EXPECT_FALSE(root->RenameNew(name, "evil.ini").ok());
  EXPECT_TRUE(fs::is_symlink(dir_ / "evil.ini"));
  EXPECT_EQ(ReadBytes(dir_ / "elsewhere" / "Setup.ini"), "[main]\n");
}
#endif

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

// Another user of a shared folder plants links at the backup's name, swaps
// the file for a link or another file, or moves the folder between the read
// and the save: no save ever writes through a link or into another folder.
TEST_F(SettingsStoreTest, NoSaveWritesThroughALinkOrOutsideTheFolderItRead) {
  const fs::path secret = dir_ / "private.ini";
  const std::string secretText = "[main]\nfire=mine\n";
  WriteBytes(secret, secretText);
  fs::permissions(secret, fs::perms::owner_read | fs::perms::owner_write);
  auto editAndSave = [&](const std::string& path, auto&& meanwhile) {
    SettingsEditor editor(*ops_, path);
    EXPECT_EQ(editor.Open(), "");
    EXPECT_TRUE(editor.Document().Set("main", "Y", "2").ok());
    meanwhile();
    return editor.Save();
  };

  // a link at the backup's name is replaced itself
  WriteBytes(path_, "[main]\nY=1\n");
  fs::create_symlink(secret, path_ + ".bak");
  EXPECT_EQ(editAndSave(path_, [] {}), "");
  EXPECT_EQ(ReadBytes(secret), secretText);
  EXPECT_FALSE(fs::is_symlink(path_ + ".bak"));
  EXPECT_EQ(ReadBytes(path_ + ".bak"), "[main]\nY=1\n");
  EXPECT_EQ(ReadBytes(path_), "[main]\nY=2\n");

  // the file swapped for a link, or for another file, after it was read
  for (bool link : {true, false}) {
    WriteBytes(path_, "[main]\nY=1\n");
    fs::remove(path_ + ".bak");
    std::string message = editAndSave(path_, [&] {
      if (link) {
        fs::remove(path_);
        fs::create_symlink(secret, path_);
      } else {  // same text, same size, made while the old one still lives
        WriteBytes(path_ + ".theirs", "[main]\nY=1\n");
        fs::rename(path_ + ".theirs", path_);
      }
    });
    EXPECT_NE(message.find(link ? "replaced by a symbolic link" : "replaced by another file"),
              std::string::npos)
        << message;
    EXPECT_EQ(ReadBytes(secret), secretText);
    EXPECT_FALSE(fs::exists(path_ + ".bak"));
    fs::remove(path_);
  }

  // swapped back and forth between saves: each save goes to the file or is refused
  WriteBytes(path_, "[main]\nY=1\n");
  for (int i = 0; i < 40; ++i) {
    std::string message = editAndSave(path_, [&] {
      if (i % 3 != 1) return;
      fs::rename(path_, path_ + ".away");
      fs::create_symlink(secret, path_);
    });
    if (fs::is_symlink(path_)) {
      EXPECT_NE(message, "") << i;
      fs::remove(path_);
      fs::rename(path_ + ".away", path_);
    } else {
      EXPECT_EQ(message, "") << i;
    }
    ASSERT_EQ(ReadBytes(secret), secretText) << i;
    ASSERT_NE(ReadBytes(path_ + ".bak").find("Y="), std::string::npos) << i;
  }

  // the folder moved away and another put in its place
  fs::create_directories(dir_ / "shared");
  const std::string inShared = (dir_ / "shared" / "Setup.ini").string();
  WriteBytes(inShared, "[main]\nY=1\n");
  std::string message = editAndSave(inShared, [&] {
    fs::rename(dir_ / "shared", dir_ / "moved");
    fs::create_directories(dir_ / "shared");
    fs::create_symlink(secret, inShared);
  });
  EXPECT_NE(message.find("is not where it was read"), std::string::npos) << message;
  EXPECT_EQ(ReadBytes(secret), secretText);
  EXPECT_EQ(ReadBytes(dir_ / "moved" / "Setup.ini"), "[main]\nY=1\n");
  // private.ini, Setup.ini, its backup, moved/ and shared/: no temporary file
  EXPECT_EQ(FilesInDir(), 5u);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_ / "moved"), fs::directory_iterator()), 1);
}

// The new file and the backup are as private as the file they come from.
TEST_F(SettingsStoreTest, FileAndBackupKeepTheFilesOwnMode) {
  for (fs::perms mode : {fs::perms::owner_read | fs::perms::owner_write,
                         fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read}) {
    fs::remove(path_ + ".bak");
    WriteBytes(path_, "[main]\nY=1\n");
    fs::permissions(path_, mode);
    SettingsEditor editor(*ops_, path_);
    ASSERT_EQ(editor.Open(), "");
    ASSERT_TRUE(editor.Document().Set("main", "Y", "2").ok());
    ASSERT_EQ(editor.Save(), "");
    EXPECT_EQ(fs::status(path_).permissions() & fs::perms::all, mode);
    EXPECT_EQ(fs::status(path_ + ".bak").permissions() & fs::perms::all, mode);
  }
}

// A link at the file's name that another user made is not followed.
TEST_F(SettingsStoreTest, ALinkMadeByAnotherUserIsNotFollowed) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to make a link owned by another user";
  const fs::path secret = dir_ / "private.ini";
  WriteBytes(secret, "[main]\nY=1\n");
  fs::create_symlink(secret, path_);
  ASSERT_EQ(::lchown(path_.c_str(), 65534, 65534), 0);
  SettingsEditor editor(*ops_, path_);
  EXPECT_NE(editor.Open().find("a link made by another user"), std::string::npos);
  editor.StartNew("[main]\n");
  ASSERT_TRUE(editor.Document().Set("main", "Y", "2").ok());
  EXPECT_NE(editor.Save(), "");
  EXPECT_EQ(ReadBytes(secret), "[main]\nY=1\n");
}
#endif

// Temporary files that a killed save left behind go at the next start: only
// ours by name and owner, and only those older than a save can take.
TEST_F(SettingsStoreTest, StaleTemporaryFilesOfAnInterruptedSaveAreRemovedAtOpen) {
  WriteBytes(path_, "[main]\nY=1\n");
  const auto old = fs::file_time_type::clock::now() - std::chrono::minutes(5);
  auto make = [&](const std::string& name, bool aged) {
    WriteBytes(dir_ / name, "[main]\nY=0\n");
    if (aged) fs::last_write_time(dir_ / name, old);
  };
  make("Setup.ini.a1B2c3", true);
  make("Setup.ini.bak.Zz9yY8", true);
  make("Setup.ini.fresh1", false);  // a save that is running now
  make("Setup.ini.keep", true);     // not our pattern
  make("Setup.ini.abcdefg", true);  // not our pattern
  make("Other.ini.a1B2c3", true);   // another file's
#ifndef _WIN32
  const bool root = ::geteuid() == 0;
  if (root) {
    make("Setup.ini.theirs", true);
    ASSERT_EQ(::lchown((dir_ / "Setup.ini.theirs").c_str(), 65534, 65534), 0);
  }
#endif
  SettingsEditor editor(*ops_, path_);
  ASSERT_EQ(editor.Open(), "");
  EXPECT_FALSE(fs::exists(dir_ / "Setup.ini.a1B2c3"));
  EXPECT_FALSE(fs::exists(dir_ / "Setup.ini.bak.Zz9yY8"));
  for (const char* kept :
       {"Setup.ini.fresh1", "Setup.ini.keep", "Setup.ini.abcdefg", "Other.ini.a1B2c3"})
    EXPECT_TRUE(fs::exists(dir_ / kept)) << kept;
#ifndef _WIN32
  if (root) {
    EXPECT_TRUE(fs::exists(dir_ / "Setup.ini.theirs"));
  }
#endif
}

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
  FileOutcome OpenFolder(const std::string& path, std::unique_ptr<SettingsFolder>& folder,
                         std::string& name) override {
    std::unique_ptr<SettingsFolder> inner;
    FileOutcome o = real_.OpenFolder(path, inner, name);
    if (o.ok()) folder = std::make_unique<Folder>(*this, std::move(inner));
    return o;
  }

 private:
  class Folder : public SettingsFolder {
   public:
    Folder(FailingOps& ops, std::unique_ptr<SettingsFolder> real)
        : ops_(ops), real_(std::move(real)) {}
    FileOutcome StillThere() override { return real_->StillThere(); }
    FileOutcome Look(const std::string& n, FileInfo& i) override { return real_->Look(n, i); }
    FileOutcome Read(const std::string& n, uint64_t limit, std::string& b, FileInfo& i) override {
      return real_->Read(n, limit, b, i);
    }
    FileOutcome WriteTemp(const std::string& like, std::string_view bytes,
                          std::string& temp) override {
      if (++ops_.step_ != ops_.failAt_) return real_->WriteTemp(like, bytes, temp);
      real_->WriteTemp(like, bytes.substr(0, bytes.size() / 2), temp);
      return {ops_.fault_, "injected"};
    }
    FileOutcome Replace(const std::string& from, const std::string& to) override {
      if (++ops_.step_ == ops_.failAt_) return {ops_.fault_, "injected"};
      return real_->Replace(from, to);
    }
    void Remove(const std::string& n) override { real_->Remove(n); }
    void RemoveStaleTemps(const std::string& like) override { real_->RemoveStaleTemps(like); }

   private:
    FailingOps& ops_;
    std::unique_ptr<SettingsFolder> real_;
  };

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

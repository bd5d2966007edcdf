// A folder of its own for each test of a fixture: made empty before the
// test, removed after it (write permission given back first, for tests that
// take it away). Named from `prefix` and the test's name.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <system_error>
#include <utility>

namespace zq::test {

class ScratchFolder : public ::testing::Test {
 protected:
  explicit ScratchFolder(std::string prefix) : prefix_(std::move(prefix)) {}
  void SetUp() override {
    namespace fs = std::filesystem;
    dir_ = fs::temp_directory_path() /
           (prefix_ + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    path_ = (dir_ / "Setup.ini").string();
  }
  void TearDown() override {
    namespace fs = std::filesystem;
    std::error_code ec;
    for (const auto& entry : fs::recursive_directory_iterator(dir_, ec))
      fs::permissions(entry.path(), fs::perms::owner_write, fs::perm_options::add, ec);
    fs::remove_all(dir_, ec);
  }
  std::filesystem::path dir_;
  std::string path_;  // Setup.ini in the folder (not made)

 private:
  std::string prefix_;
};

}  // namespace zq::test

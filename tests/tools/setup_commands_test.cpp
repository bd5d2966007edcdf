// zq-setup's commands run in-process on files in a scratch folder.
#include "zq_setup/setup_commands.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "kit/scratch_folder.h"
#include "settings_edit_kit.h"
#include "tools/example_setup.h"

namespace zq::setup {
namespace {

namespace fs = std::filesystem;
using testkit::ReadBytes;
using testkit::WriteBytes;

class SetupCommandsTest : public test::ScratchFolder {
 protected:
  SetupCommandsTest() : ScratchFolder("zq-setup-") {}
  int Run(std::vector<std::string> args) {
    out_.str("");
    err_.str("");
    args.insert(args.begin(), {"--setup", path_});
    SetupContext ctx{*ops_, out_, err_, kExampleSetupText};
    return RunSetup(args, ctx);
  }
  std::unique_ptr<FileOps> ops_ = MakePlatformFileOps();
  std::ostringstream out_, err_;
};

TEST_F(SetupCommandsTest, SetWithoutAFileStartsFromTheExampleLayout) {
  ASSERT_EQ(Run({"set", "Yaxis=1 1", "brandnew=5"}), 0) << err_.str();
  std::string text = ReadBytes(path_);
  std::string expected(kExampleSetupText);
  size_t at = expected.find("\nYaxis=0 1\n");
  ASSERT_NE(at, std::string::npos);
  expected.replace(at, 11, "\nYaxis=1 1\n");
  EXPECT_EQ(text, expected + "brandnew=5\n");
  EXPECT_NE(out_.str().find("-Yaxis=0 1\n+Yaxis=1 1\n"), std::string::npos) << out_.str();
  EXPECT_NE(out_.str().find("+brandnew=5"), std::string::npos);
  EXPECT_FALSE(fs::exists(path_ + ".bak"));
}

TEST_F(SetupCommandsTest, GetPrintsWhatThePanelReads) {
  WriteBytes(path_, "[main]\nYaxis = \"0 1\"\nyaxis=7\nEmpty=\n");
  EXPECT_EQ(Run({"get", "YAXIS", "empty"}), 0);
  EXPECT_EQ(out_.str(), "0 1\n\n");
  EXPECT_EQ(Run({"get", "Yaxis", "nothing"}), 1);
  EXPECT_EQ(out_.str(), "0 1\n\n");
  EXPECT_NE(err_.str().find("nothing is not set"), std::string::npos);
  EXPECT_EQ(Run({"--section", "other", "get", "Yaxis"}), 1);
  // no control byte of a value reaches the terminal: an OSC that would
  // retitle it, a CSI as UTF-8 (U+009B) and as one byte; letters stay
  WriteBytes(path_,
             "[main]\nfire=\x1b]0;owned\x07 x\nname=\xc2\x9b"
             "2J\x9d"
             "caf\xc3\xa9 caf\xe9\n");
  EXPECT_EQ(Run({"get", "fire", "name", "\x1b[2Jkey"}), 1);
  EXPECT_EQ(out_.str(), "?]0;owned? x\n?2J?caf\xc3\xa9 caf\xe9\n\n");
  EXPECT_EQ(err_.str().find('\x1b'), std::string::npos) << err_.str();
}

TEST_F(SetupCommandsTest, SetAppliesAllEditsOrNone) {
  const std::string before = "[main]\r\nYaxis=0 1\r\n";
  WriteBytes(path_, before);
  EXPECT_EQ(Run({"set", "Yaxis=0 2", "Xaxis= 0 1"}), kNotDoneStatus);
  EXPECT_NE(err_.str().find("Xaxis: blanks"), std::string::npos) << err_.str();
  EXPECT_EQ(Run({"set", "Yaxis=0 2", "novalue"}), kUsageStatus);
  EXPECT_EQ(ReadBytes(path_), before);
  EXPECT_FALSE(fs::exists(path_ + ".bak"));
  ASSERT_EQ(Run({"set", "Yaxis=0 2", "Xaxis=0 0"}), 0) << err_.str();
  EXPECT_EQ(ReadBytes(path_), "[main]\r\nYaxis=0 2\r\nXaxis=0 0\r\n");
  EXPECT_EQ(ReadBytes(path_ + ".bak"), before);
  EXPECT_EQ(Run({"set", "Yaxis=0 2"}), 0);  // nothing to change: nothing written
  EXPECT_EQ(ReadBytes(path_ + ".bak"), before);
}

TEST_F(SetupCommandsTest, SticksKeysPinInTheirOwnSectionKeepingEveryOtherByte) {
  WriteBytes(path_, "[main]\r\nYaxis=0 1\r\n[sticks]\r\n; my pedals\r\n2=06a3:0763 \"Pedals\"\r\n");
  ASSERT_EQ(Run({"set", "sticks.0=044f:b10a \"Flight Stick\" serial=0A1B2C",
                 "Sticks.2=06a3:0763 \"Rudder\""}),
            0)
      << err_.str();
  EXPECT_EQ(ReadBytes(path_),
            "[main]\r\nYaxis=0 1\r\n[sticks]\r\n; my pedals\r\n2=06a3:0763 \"Rudder\"\r\n"
            "0=044f:b10a \"Flight Stick\" serial=0A1B2C\r\n");
  EXPECT_EQ(Run({"get", "sticks.0", "Yaxis"}), 0);
  EXPECT_EQ(out_.str(), "044f:b10a \"Flight Stick\" serial=0A1B2C\n0 1\n");
  ASSERT_EQ(Run({"unset", "sticks.2"}), 0);
  EXPECT_EQ(ReadBytes(path_).find("Rudder"), std::string::npos);
  EXPECT_EQ(Run({"get", "sticks.2"}), 1);
  EXPECT_NE(err_.str().find("2 is not set in [sticks]"), std::string::npos) << err_.str();
}

TEST_F(SetupCommandsTest, SetRefusesWhatZqCheckCallsAnErrorUnlessForced) {
  WriteBytes(path_, std::string(kExampleSetupText));
  EXPECT_EQ(Run({"set", "Yaxis=1 3 4"}), kNotDoneStatus);
  EXPECT_NE(err_.str().find("error box"), std::string::npos) << err_.str();
  EXPECT_EQ(ReadBytes(path_), kExampleSetupText);
  ASSERT_EQ(Run({"--force", "set", "Yaxis=1 3 4"}), 0);
  // an error the file already had does not block other edits
  EXPECT_EQ(Run({"set", "WindowX=5"}), 0) << err_.str();
  EXPECT_EQ(Run({"check"}), 2);
  EXPECT_NE(out_.str().find(path_ + ":"), std::string::npos);
  // a second error past the first is known already: fixing the first is no new error
  ASSERT_EQ(Run({"--force", "set", "Xaxis=0 0 9"}), 0);
  EXPECT_NE(err_.str().find("Had line"), std::string::npos) << err_.str();
  EXPECT_EQ(Run({"set", "Yaxis=0 1"}), 0) << err_.str();
}

TEST_F(SetupCommandsTest, UnsetAndCheck) {
  WriteBytes(path_, std::string(kExampleSetupText));
  EXPECT_EQ(Run({"check"}), 0) << out_.str();
  ASSERT_EQ(Run({"unset", "WindowX", "WindowY"}), 0);
  EXPECT_NE(out_.str().find("-WindowX="), std::string::npos);
  EXPECT_EQ(Run({"get", "WindowX"}), 1);
  fs::remove(path_);
  EXPECT_EQ(Run({"check"}), 1);  // no file: the defaults share a button
  EXPECT_NE(out_.str().find("no such file"), std::string::npos);
}

// Bad usage is one line naming the argument, as in every zq tool.
TEST_F(SetupCommandsTest, Usage) {
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"frobnicate"},
                                             {"set"},
                                             {"--section", " main", "get", "Y"},
                                             {"check", "extra"},
                                             {"set", "Yaxis=0 2", "novalue"},
                                             {"--force=yes", "check"},
                                             {"check", "--section"},
                                             {"get", "Y", "--port", "80"},
                                             {"ui", "stray"},
                                             {"--bogus", "check"}}) {
    EXPECT_EQ(Run(args), kUsageStatus) << args.front();
    const std::string err = err_.str();
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_NE(err_.str().find("; try 'zq-setup --help'\n"), std::string::npos) << err_.str();
    EXPECT_EQ(out_.str(), "");
  }
  EXPECT_NE(err_.str().find("'--bogus'"), std::string::npos) << err_.str();
  EXPECT_EQ(Run({"check", "--help"}), 0);
  EXPECT_NE(out_.str().find("usage: zq-setup"), std::string::npos);
}

// Options stand anywhere, as "--opt value" or "--opt=value"; "--" ends them.
TEST_F(SetupCommandsTest, OptionsInAnyOrder) {
  WriteBytes(path_, std::string(kExampleSetupText));
  const std::string file = path_;
  path_ = "elsewhere.ini";  // Run's own --setup comes first: a later one wins
  EXPECT_EQ(Run({"set", "--setup=" + file, "--force", "Yaxis=1 3 4"}), 0) << err_.str();
  EXPECT_EQ(Run({"get", "Yaxis", "--setup", file}), 0) << err_.str();
  EXPECT_EQ(out_.str(), "1 3 4\n");
  EXPECT_EQ(Run({"--setup", file, "set", "--", "Yaxis=0 1"}), 0) << err_.str();
  EXPECT_EQ(Run({"--section=main", "get", "--setup=" + file, "Yaxis"}), 0) << err_.str();
  EXPECT_EQ(out_.str(), "0 1\n");
  EXPECT_FALSE(fs::exists("elsewhere.ini"));
}

// An edit the panel reads otherwise than meant is said when it is written,
// as check says it: only what the edit brought, not what the file had.
TEST_F(SetupCommandsTest, SetTellsTheWarningsItBrings) {
  WriteBytes(path_, std::string(kExampleSetupText) + "bogus=1\n");
  ASSERT_EQ(Run({"set", "chat=F5"}), 0) << err_.str();
  EXPECT_NE(err_.str().find(path_ + ":"), std::string::npos) << err_.str();
  EXPECT_NE(err_.str().find(": warning: chat = 'F5': binding texts have no key names"),
            std::string::npos)
      << err_.str();
  EXPECT_EQ(err_.str().find("bogus"), std::string::npos) << err_.str();
  const std::string warned = err_.str();
  Run({"check"});
  EXPECT_NE(out_.str().find(warned), std::string::npos) << out_.str();
  ASSERT_EQ(Run({"set", "chat=-1 116"}), 0);
  EXPECT_EQ(err_.str(), "");
}

// `ui` is the default command, also when only its own options are given.
TEST_F(SetupCommandsTest, TheConfiguratorsOptionsAloneMeanUi) {
  std::vector<std::string> seen;
  SetupContext ctx{*ops_, out_, err_, kExampleSetupText};
  ctx.runUi = [&](const SetupOptions& o, const std::vector<std::string>& args, SetupContext&) {
    seen = args;
    seen.insert(seen.begin(), o.path);
    return 0;
  };
  using Args = std::vector<std::string>;
  EXPECT_EQ(RunSetup({"--setup", "a.ini", "--no-browser", "--port", "8080"}, ctx), 0);
  EXPECT_EQ(seen, (Args{"a.ini", "--no-browser", "--port", "8080"}));
  EXPECT_EQ(RunSetup({"--port", "0"}, ctx), 0);
  EXPECT_EQ(seen, (Args{"Setup.ini", "--port", "0"}));
  EXPECT_EQ(RunSetup({"ui", "--no-browser"}, ctx), 0);
  EXPECT_EQ(seen, (Args{"Setup.ini", "--no-browser"}));
  EXPECT_EQ(RunSetup({"--no-browser", "--setup", "b.ini"}, ctx), 0);
  EXPECT_EQ(seen, (Args{"b.ini", "--no-browser"}));
  EXPECT_EQ(RunSetup({"ui", "--port=0", "--setup=c.ini", "--no-browser"}, ctx), 0);
  EXPECT_EQ(seen, (Args{"c.ini", "--port", "0", "--no-browser"}));
  seen.clear();
  EXPECT_EQ(RunSetup({"--no-such-option"}, ctx), kUsageStatus);
  EXPECT_TRUE(seen.empty());
}

}  // namespace
}  // namespace zq::setup

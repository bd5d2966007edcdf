#include "config/settings_file.h"
#include "config/settings_snapshot.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

namespace zq {
namespace {

std::string Read(std::string_view text, std::string_view key, std::string_view def = "<def>") {
  return ProfileTextSettings(text).ReadText("main", key, def);
}
bool Has(std::string_view text, std::string_view key) {
  return ProfileTextSettings(text).HasKey("main", key);
}

TEST(ProfileText, ReadsValuesByTheProfileConventions) {
  struct Case {
    const char* file;
    const char* key;
    const char* expected;
  };
  const Case cases[] = {
      {"[main]\nY=0 50\n", "Y", "0 50"},
      {"[main]\ny=0 50\n", "Y", "0 50"},                  // key case
      {"[MAIN]\nY=0 50\n", "Y", "0 50"},                  // section case
      {"[main]\n  Y  =  0 50  \n", "Y", "0 50"},          // blanks around key and value
      {"[main]\r\nY=1\r\nX=2\r\n", "X", "2"},             // CR LF
      {"[main]\rY=1\rX=2", "X", "2"},                     // lone CR ends a line too
      {"[main]\n\tY\t=\t7\t\n", "Y", "7"},                // tabs
      {"[main]\nY=1\nY=2\n", "Y", "1"},                   // first occurrence wins
      {"[main]\nY=1\n[main]\nY=2\nX=3\n", "X", "<def>"},  // only the first section is read
      {"[other]\nY=1\n[main]\nX=3\n", "Y", "<def>"},
      {"Y=1\n[main]\n", "Y", "<def>"},        // before any section
      {"[main]\nY=\n", "Y", ""},              // present and empty: not the default
      {"[main]\nY\n", "Y", "<def>"},          // no '=': no value
      {"[main]\nY=\"0 50\"\n", "Y", "0 50"},  // one pair of quotes removed
      {"[main]\nY='0 50'\n", "Y", "0 50"},
      {"[main]\nY=\"0 50'\n", "Y", "\"0 50'"},  // unmatched quotes stay
      {"[main]\nY=\"\n", "Y", "\""},
      {"[main]\nY=\"\"\"\n", "Y", "\""},
      {"[main]\n;Y=1\nY=2\n", "Y", "2"},  // comment line
      {"[main]\nY=1 ; not a comment\n", "Y", "1 ; not a comment"},
      {"[main]\nY=a=b\n", "Y", "a=b"},  // first '=' splits
      {"[main\nY=1\n", "Y", "<def>"},   // no ']': not a section header
      {"[main]junk\nY=1\n", "Y", "1"},
      {"[ main ]\nY=1\n", "Y", "1"},            // blanks around the name do not count
      {"\xEF\xBB\xBF[main]\nY=1\n", "Y", "1"},  // UTF-8 byte-order mark
      {"", "Y", "<def>"},
  };
  for (const Case& c : cases) {
    std::string text(c.file);
    EXPECT_EQ(Read(text, c.key), c.expected) << "file: " << testing::PrintToString(text);
  }
}

TEST(ProfileText, CutsLongValuesTo2047Characters) {
  std::string value(5000, '7');
  EXPECT_EQ(Read("[main]\nY=" + value + "\n", "Y"), std::string(2047, '7'));
  std::string million(1 << 20, 'x');
  EXPECT_EQ(Read("[main]\nY=" + million, "Y").size(), 2047u);
}

TEST(ProfileText, NulBytesAreOrdinaryCharacters) {
  std::string text("[main]\nY=1\0002\nX=3\n", 18);
  EXPECT_EQ(Read(text, "Y"), std::string("1\0002", 3));
  EXPECT_EQ(Read(text, "X"), "3");
}

TEST(ProfileText, ReadsUtf16FilesWithAByteOrderMark) {
  // as Notepad's "Unicode" saves it, in both byte orders
  std::u16string text = u"[main]\r\nY=0 50\r\nX=\u0427\r\n";
  std::string le("\xFF\xFE", 2), be("\xFE\xFF", 2);
  for (char16_t c : text) {
    le += static_cast<char>(c & 0xFF);
    le += static_cast<char>(c >> 8);
    be += static_cast<char>(c >> 8);
    be += static_cast<char>(c & 0xFF);
  }
  for (const std::string& file : {le, be}) {
    EXPECT_EQ(Read(file, "Y"), "0 50");
    EXPECT_EQ(Read(file, "X"), "\xD0\xA7");
  }
}

TEST(ProfileText, HasKeyListsKeysWithAValue) {
  EXPECT_TRUE(Has("[main]\nY1=\n", "Y1"));  // empty value counts
  EXPECT_TRUE(Has("[main]\ny1=5\n", "Y1"));
  EXPECT_FALSE(Has("[main]\nY1\n", "Y1"));  // no '='
  EXPECT_FALSE(Has("[main]\n;Y1=5\n", "Y1"));
  EXPECT_FALSE(Has("[other]\nY1=5\n", "Y1"));
  EXPECT_FALSE(Has("", "Y1"));
}

TEST(ProfileText, KeyListStopsAt16384Characters) {
  // 2000 keys of 9 characters (10 with the terminator) overflow the list
  std::string text = "[main]\n";
  for (int i = 0; i < 2000; ++i) text += "K" + std::to_string(10000000 + i) + "=1\n";
  text += "Y1=0 50\n";
  ProfileTextSettings settings(text);
  EXPECT_TRUE(settings.HasKey("main", "K10000000"));
  EXPECT_FALSE(settings.HasKey("main", "Y1"));              // beyond the list
  EXPECT_EQ(settings.ReadText("main", "Y1", "d"), "0 50");  // a direct read still finds it
  size_t total = 1;
  for (const std::string& n : settings.Profile().KeyList("main")) total += n.size() + 1;
  EXPECT_LE(total, kKeyListChars);
}

TEST(ProfileText, RemembersLineNumbers) {
  ProfileText p("; header\r\n[main]\r\n\r\nY=1\r\nX=2\n");
  const ProfileText::Entry* y = p.FindEntry("main", "Y");
  const ProfileText::Entry* x = p.FindEntry("main", "x");
  ASSERT_NE(y, nullptr);
  ASSERT_NE(x, nullptr);
  EXPECT_EQ(y->line, 4);
  EXPECT_EQ(x->line, 5);
}

TEST(SettingsSnapshot, AnUnreadableFileReadsAsTheDefaultsAndSaysWhy) {
  SettingsFileText missing;  // what a platform reports for a path that names nothing
  SettingsSnapshot none("Setup.ini", missing);
  EXPECT_EQ(none.ReadText("main", "Y", "0 100"), "0 100");
  EXPECT_FALSE(none.HasKey("main", "Y"));
  EXPECT_FALSE(none.Refused());  // no file: the defaults, said by no one

  SettingsFileText big;
  big.state = SettingsFileState::tooLarge;
  big.size = 20u << 20;
  SettingsSnapshot refused("./Setup.ini", big);
  EXPECT_TRUE(refused.Refused());
  EXPECT_EQ(refused.Message(),
            "cannot read the settings file './Setup.ini': it is too large: 20971520 bytes, over "
            "the limit of 16 MiB; running on the defaults");

  SettingsFileText fifo;
  fifo.state = SettingsFileState::notRegularFile;
  fifo.detail = "a FIFO";
  EXPECT_EQ(SettingsFileCause(fifo), "it is a FIFO, not a regular file");

  SettingsFileText read;
  read.state = SettingsFileState::read;
  read.text = "[main]\nY=0 50\n";
  SettingsSnapshot one("Setup.ini", read);
  EXPECT_EQ(one.ReadText("main", "y", "0 100"), "0 50");
  EXPECT_TRUE(one.HasKey("MAIN", "Y"));
  EXPECT_EQ(one.Message(), "");
}

TEST(ReadInt, FallsBackToTheDefault) {
  ProfileTextSettings s("[main]\nA=0x20\nB=word\nC=\nD=-1\nE= 12 \n");
  EXPECT_EQ(ReadInt(s, "main", "A", -1), 32);
  EXPECT_EQ(ReadInt(s, "main", "B", -1), -1);
  EXPECT_EQ(ReadInt(s, "main", "C", -1), -1);
  EXPECT_EQ(ReadInt(s, "main", "D", 5), -1);
  EXPECT_EQ(ReadInt(s, "main", "E", -1), 12);
  EXPECT_EQ(ReadInt(s, "main", "missing", 7), 7);
}

}  // namespace
}  // namespace zq

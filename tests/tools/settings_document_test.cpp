// The settings document: encodings, line ends and the reader's rules kept
// through an edit, and the values it refuses.
#include "config/settings_document.h"

#include <gtest/gtest.h>

#include <string>

#include "settings_edit_kit.h"

namespace zq {
namespace {

using testkit::Utf16;

std::string SetOk(std::string bytes, std::string_view key, std::string_view value,
                  std::string_view section = "main") {
  SettingsDocument doc(std::move(bytes));
  EditResult r = doc.Set(section, key, value);
  EXPECT_TRUE(r.ok()) << r.error;
  EXPECT_EQ(doc.Read(section, key, "<def>"), value);
  return doc.Bytes();
}

TEST(SettingsDocument, ReplacesOnlyTheValueOfTheLineTheReaderFinds) {
  struct Case {
    const char* before;
    const char* key;
    const char* value;
    const char* after;
  };
  const Case cases[] = {
      {"[main]\nY=1\nX=2\n", "X", "5", "[main]\nY=1\nX=5\n"},
      {"[main]\n  x  =  2  \n", "X", "0 50", "[main]\n  x  =  0 50  \n"},  // spelling, blanks
      {"[main]\nX=\n", "X", "3", "[main]\nX=3\n"},
      {"[main]\nX =   \n", "X", "3", "[main]\nX =   3\n"},
      {"[main]\nX\nX=1\n", "X", "4",
       "[main]\nX=4\nX=1\n"},  // a first line without '=' hides the rest
      {"[main]\nX=1\nx=2\n", "X", "7", "[main]\nX=7\nx=2\n"},  // first of the repeats
      {"[main]\nX=1\n[MAIN]\nX=2\n", "x", "9", "[main]\nX=9\n[MAIN]\nX=2\n"},
      {"[other]\nX=1\n[ Main ]\nX=2\n", "X", "8", "[other]\nX=1\n[ Main ]\nX=8\n"},
      {"[main]\nX=\"q\"\n", "X", "r", "[main]\nX=r\n"},
      {"[main]\nX=a=b\n", "X", "c", "[main]\nX=c\n"},
      {"[main]\r\nX=1\r\n", "X", "2", "[main]\r\nX=2\r\n"},
      {"[main]\rX=1\r", "X", "2", "[main]\rX=2\r"},
      {"\xEF\xBB\xBF[main]\nX=1", "X", "2", "\xEF\xBB\xBF[main]\nX=2"},
      {"[main]\nX=1\n; caf\xE9\n", "X", "\xE9t\xE9", "[main]\nX=\xE9t\xE9\n; caf\xE9\n"},  // cp1252
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SetOk(c.before, c.key, c.value), c.after) << testing::PrintToString(c.before);
  }
}

TEST(SettingsDocument, AddsNewKeysAtTheEndOfTheSectionWithTheDominantLineEnd) {
  struct Case {
    const char* before;
    const char* after;
  };
  const Case cases[] = {
      {"[main]\nY=1\n\n; notes\n[other]\nZ=1\n", "[main]\nY=1\nK=v\n\n; notes\n[other]\nZ=1\n"},
      {"[main]\n[other]\n", "[main]\nK=v\n[other]\n"},
      {"[main]\r\nY=1\r\nX=1\n", "[main]\r\nY=1\r\nX=1\nK=v\r\n"},  // two CR LF to one LF
      {"[main]\nY=1", "[main]\nY=1\nK=v"},                          // the last line stays unended
      {"[main]\rY=1\r\n", "[main]\rY=1\r\nK=v\r\n"},                // a tie goes to CR LF
      {"[main]\rY=1\r\rX", "[main]\rY=1\r\rX\rK=v"},                // CR the most common
      {"[main]\rY=1\r\r\n", "[main]\rY=1\rK=v\r\r\n"},
      // a lone CR before an empty LF line would swallow that line
      {"[main]\rY=1\n\n\r\r", "[main]\rY=1\nK=v\r\n\n\r\r"},
      {"[other]\nZ=1\n", "[other]\nZ=1\n[main]\nK=v\n"},
      {"[other]\r\nZ=1", "[other]\r\nZ=1\r\n[main]\r\nK=v"},
      {"; only a comment", "; only a comment\n[main]\nK=v"},
      {"", "[main]\nK=v\n"},
      {"\xEF\xBB\xBF", "\xEF\xBB\xBF[main]\nK=v\n"},
  };
  for (const Case& c : cases) {
    SettingsDocument doc(c.before);
    EditResult r = doc.Set("main", "K", "v");
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(doc.Bytes(), c.after) << testing::PrintToString(std::string(c.before));
  }
}

TEST(SettingsDocument, KeepsUtf16ByteOrderAndLineEnds) {
  for (bool be : {false, true}) {
    std::string before = Utf16("; note\r\n[main]\r\nY=1\r\nX=2\r\n[other]\r\nY=5\r\n", be);
    SettingsDocument doc(before);
    EXPECT_EQ(doc.Encoding(), be ? TextEncoding::utf16be : TextEncoding::utf16le);
    ASSERT_TRUE(doc.Set("main", "x", "0 50").ok());
    EXPECT_EQ(doc.Bytes(), Utf16("; note\r\n[main]\r\nY=1\r\nX=0 50\r\n[other]\r\nY=5\r\n", be));
    ASSERT_TRUE(doc.Set("main", "WindowX", "7").ok());
    EXPECT_EQ(doc.Bytes(),
              Utf16("; note\r\n[main]\r\nY=1\r\nX=0 50\r\nWindowX=7\r\n[other]\r\nY=5\r\n", be));
    // non-ASCII text is given and read back as UTF-8
    ASSERT_TRUE(doc.Set("main", "name", "\xC3\xA9\xF0\x9F\x98\x80").ok());
    EXPECT_EQ(doc.Read("main", "name", ""), "\xC3\xA9\xF0\x9F\x98\x80");
    EXPECT_EQ(doc.LineText(5), "WindowX=7");
    EditResult bad = doc.Set("main", "Y", "\xE9");
    EXPECT_FALSE(bad.ok());
    EXPECT_NE(bad.error.find("UTF-8"), std::string::npos);
  }
  // an odd last byte and a lone surrogate stay as they were
  const std::string loneSurrogateAndOddByte("\x00\xD8\x00", 3);
  SettingsDocument doc(Utf16("[main]\r\nY=1\r\n", false) + loneSurrogateAndOddByte);
  ASSERT_TRUE(doc.Set("main", "Y", "2").ok());
  EXPECT_EQ(doc.Bytes(), Utf16("[main]\r\nY=2\r\n", false) + loneSurrogateAndOddByte);
}

TEST(SettingsDocument, UnsetRemovesEveryLineOfTheKeyInTheReadSection) {
  SettingsDocument doc("[main]\nX=1\nY=2\nx\nX=3\n[main]\nX=4\n");
  EditResult r = doc.Unset("main", "X");
  ASSERT_TRUE(r.ok()) << r.error;
  EXPECT_EQ(doc.Bytes(), "[main]\nY=2\n[main]\nX=4\n");
  EXPECT_EQ(doc.Read("main", "X", "<def>"), "<def>");
  ASSERT_EQ(r.changes.size(), 3u);
  EXPECT_EQ(r.changes[1].before, "x");
  EXPECT_TRUE(doc.Unset("main", "nothing").changes.empty());
  EXPECT_TRUE(doc.Unset("absent", "X").ok());
  SettingsDocument last("[main]\nY=2\nX=1");
  ASSERT_TRUE(last.Unset("main", "X").ok());
  EXPECT_EQ(last.Bytes(), "[main]\nY=2\n");
}

TEST(SettingsDocument, RefusesWhatTheReaderCouldNotReadBack) {
  const std::string before = "[main]\nX=1\n";
  struct Case {
    std::string section, key, value, why;
  };
  const Case cases[] = {
      {"main", "X", std::string("a\0b", 3), "NUL"},
      {"main", "X", "a\nb", "line break"},
      {"main", "X", "a\rb", "line break"},
      {"main", "X", " a", "blanks"},
      {"main", "X", "a\t", "blanks"},
      {"main", "X", "a\x1a", "blanks"},
      {"main", "X", "\"a\"", "quotes"},
      {"main", "X", "''", "quotes"},
      {"main", "X", std::string(2048, '1'), "2047"},
      {"main", "", "1", "empty"},
      {"main", "a=b", "1", "'='"},
      {"main", " X", "1", "blanks"},
      {"main", ";X", "1", "comment"},
      {"main", "[X", "1", "section header"},
      {"main", "X\n", "1", "control"},
      {"", "X", "1", "empty"},
      {"ma]n", "X", "1", "'['"},
      {" main", "X", "1", "blanks"},
  };
  for (const Case& c : cases) {
    SettingsDocument doc(before);
    EditResult r = doc.Set(c.section, c.key, c.value);
    EXPECT_FALSE(r.ok()) << testing::PrintToString(c.value);
    EXPECT_NE(r.error.find(c.why), std::string::npos) << r.error;
    EXPECT_EQ(doc.Bytes(), before);
  }
  // allowed, and read back as given
  for (std::string ok : std::vector<std::string>{"\"a", "a'", "'a\"", "=", "; not a comment",
                                                 std::string(2047, '7')}) {
    SetOk(before, "X", ok);
  }
}

TEST(SettingsDocument, RefusesANewKeyThatTheKeyListCannotHold) {
  std::string text = "[main]\n";
  for (int i = 0; i < 2000; ++i) text += "LongKeyName" + std::to_string(i) + "=1\n";
  SettingsDocument doc(text);
  EditResult r = doc.Set("main", "Fresh", "1");
  EXPECT_FALSE(r.ok());
  EXPECT_NE(r.error.find("key names"), std::string::npos) << r.error;
  EXPECT_EQ(doc.Bytes(), text);
  EXPECT_TRUE(doc.Set("main", "LongKeyName5", "2").ok());  // an existing one is fine
}

}  // namespace
}  // namespace zq

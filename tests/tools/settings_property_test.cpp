// Random edits over the Windows-reader comparison corpus and the example
// (also re-encoded as UTF-16 and with other line ends). After every edit the
// reader reads the new value for the edited key and the old value for every
// other key, and the bytes outside the edited lines are the old ones.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "config/settings_document.h"
#include "settings_edit_kit.h"

namespace zq {
namespace {

constexpr int kEdits = 12000;

// Line starts and ends as the reader splits them, in bytes of the file.
struct Span {
  size_t begin, contentEnd, end;
};
std::vector<Span> SplitLines(const std::string& b, size_t* textStart = nullptr) {
  size_t u = 1, start = 0;
  bool le = false;
  if (b.compare(0, 2, "\xFF\xFE") == 0 || b.compare(0, 2, "\xFE\xFF") == 0) {
    u = 2;
    start = 2;
    le = b[0] == '\xFF';
  } else if (b.compare(0, 3, "\xEF\xBB\xBF") == 0) {
    start = 3;
  }
  if (textStart != nullptr) *textStart = start;
  auto at = [&](size_t i) -> unsigned {
    auto c = [&](size_t k) { return static_cast<unsigned>(static_cast<unsigned char>(b[k])); };
    if (u == 1) return c(i);
    return le ? c(i) | c(i + 1) << 8 : c(i) << 8 | c(i + 1);
  };
  size_t limit = start + (b.size() - start) / u * u;
  std::vector<Span> lines;
  for (size_t pos = start; pos < limit;) {
    Span s{pos, 0, 0};
    while (pos < limit && at(pos) != '\r' && at(pos) != '\n') pos += u;
    s.contentEnd = pos;
    if (pos < limit && at(pos) == '\r' && pos + u < limit && at(pos + u) == '\n') {
      pos += 2 * u;
    } else if (pos < limit) {
      pos += u;
    }
    s.end = pos;
    lines.push_back(s);
  }
  return lines;
}

// Every section and key name either reading knows (a sample of big files).
std::vector<std::pair<std::string, std::string>> Names(const ProfileText& a, const ProfileText& b,
                                                       std::mt19937& rng) {
  std::vector<std::pair<std::string, std::string>> names;
  for (const ProfileText* p : {&a, &b}) {
    for (const ProfileText::Section& s : p->Sections()) {
      for (const ProfileText::Entry& e : s.entries) names.emplace_back(s.name, e.name);
      names.emplace_back(s.name, "Y");
    }
  }
  if (names.size() > 400) {
    std::shuffle(names.begin(), names.end(), rng);
    names.resize(400);
  }
  return names;
}

std::string RandomValue(std::mt19937& rng, bool utf8) {
  static const std::vector<std::string> kPieces = {
      "0", "1", "-1", " ",        "0 50", "[CTRL]+A",         ";",    "=", "\"", "'", "\t", "x y",
      "]", "[", "\\", "\xC3\xA9", "\xE9", "\xF0\x9F\x98\x80", "\x1a", "#"};
  std::string v;
  int n = static_cast<int>(rng() % 6);
  for (int i = 0; i < n; ++i) {
    const std::string& p = kPieces[rng() % kPieces.size()];
    if (!utf8 && p == "\xF0\x9F\x98\x80") continue;
    v += p;
  }
  if (rng() % 50 == 0) v += '\n';
  return v;
}

struct Tally {
  int edits = 0, replaced = 0, added = 0, sections = 0, removed = 0, refused = 0;
};

void CheckEdit(const std::string& file, const std::string& before, std::mt19937& rng,
               Tally& tally) {
  SettingsDocument doc(before);
  const ProfileText& old = doc.Profile();
  // a key the file has (in some case), or a new one; a section it has, or not
  std::vector<std::pair<std::string, std::string>> known;
  for (size_t i = 1; i < old.Sections().size(); ++i) {
    for (const ProfileText::Entry& e : old.Sections()[i].entries)
      known.emplace_back(old.Sections()[i].name, e.name);
  }
  std::string section = "main", key = "Fresh" + std::to_string(rng() % 5);
  int pick = static_cast<int>(rng() % 10);
  if (pick < 6 && !known.empty()) {
    std::tie(section, key) = known[rng() % known.size()];
    if (rng() % 3 == 0) {
      for (char& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
  } else if (pick < 8 && old.Sections().size() > 1) {
    section = old.Sections()[1 + rng() % (old.Sections().size() - 1)].name;
  } else if (pick == 9) {
    section = "new section";
  }
  const bool unset = rng() % 5 == 0;
  const bool utf16 =
      doc.Encoding() == TextEncoding::utf16le || doc.Encoding() == TextEncoding::utf16be;
  const std::string value = RandomValue(rng, utf16);
  const ProfileText::Entry* found = old.FindEntry(section, key);
  const int foundLine = found != nullptr ? found->line : 0;
  std::vector<int> keyLines;
  if (const ProfileText::Section* s = old.FindSection(section)) {
    for (const ProfileText::Entry& e : s->entries) {
      if (EqualsNoCase(e.name, key)) keyLines.push_back(e.line);
    }
  }
  ProfileText oldCopy(before);

  EditResult r = unset ? doc.Unset(section, key) : doc.Set(section, key, value);
  const std::string& after = doc.Bytes();
  ++tally.edits;
  const std::string where = file + " [" + section + "] " + key + " = " +
                            testing::PrintToString(value) + (unset ? " (unset)" : "");
  if (!r.ok()) {
    ++tally.refused;
    ASSERT_EQ(after, before) << where;
    // a valid request is refused only where the key list is full or the text is no UTF-8
    bool valid = SectionProblem(section).empty() && KeyProblem(key).empty() &&
                 (unset || ValueProblem(value).empty());
    if (valid) {
      ASSERT_TRUE(r.error.find("key names") != std::string::npos ||
                  r.error.find("UTF-8") != std::string::npos)
          << where << ": " << r.error;
    }
    return;
  }
  ProfileText now(after);
  // the reader: the new value for the edited key, the old one for all others
  ASSERT_EQ(ReadTextFrom(now, section, key, "<def>"), unset ? "<def>" : value) << where;
  for (const auto& [s, k] : Names(oldCopy, now, rng)) {
    if (EqualsNoCase(s, section) && EqualsNoCase(k, key)) continue;
    ASSERT_EQ(ReadTextFrom(now, s, k, "<def>"), ReadTextFrom(oldCopy, s, k, "<def>"))
        << where << ": [" << s << "] " << k << " changed";
  }
  if (after == before) return;
  // the bytes: all but the edited lines are the old ones
  size_t textStart = 0;
  std::vector<Span> lines = SplitLines(before, &textStart);
  if (unset) {
    ++tally.removed;
    std::string expected = before;
    for (auto it = keyLines.rbegin(); it != keyLines.rend(); ++it) {
      const Span& l = lines[static_cast<size_t>(*it) - 1];
      expected.erase(l.begin, l.end - l.begin);
    }
    ASSERT_EQ(after, expected) << where;
  } else if (foundLine != 0) {
    ++tally.replaced;
    const Span& l = lines[static_cast<size_t>(foundLine) - 1];
    ASSERT_EQ(after.substr(0, l.begin), before.substr(0, l.begin)) << where;
    size_t tail = before.size() - l.contentEnd;
    ASSERT_GE(after.size(), tail);
    ASSERT_EQ(after.substr(after.size() - tail), before.substr(l.contentEnd)) << where;
    ASSERT_EQ(SplitLines(after).size(), lines.size()) << where << ": a line break came in";
  } else {
    // an insertion at a line boundary: the old bytes before and after it
    size_t prefix = 0, suffix = 0;
    while (prefix < before.size() && before[prefix] == after[prefix]) ++prefix;
    while (suffix < before.size() &&
           before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix])
      ++suffix;
    ASSERT_GT(after.size(), before.size()) << where;
    std::vector<size_t> bounds = {textStart, lines.empty() ? textStart : lines.back().end};
    for (const Span& l : lines) bounds.push_back(l.end);
    bool atBoundary = std::any_of(bounds.begin(), bounds.end(), [&](size_t b) {
      return b <= prefix && before.size() - b <= suffix;
    });
    ASSERT_TRUE(atBoundary) << where << ": not a pure insertion at a line end";
    if (oldCopy.FindSection(section) != nullptr) {
      ++tally.added;
    } else {
      ++tally.sections;
    }
  }
}

// The corpus, and the example in the other encodings and line ends.
std::vector<std::pair<std::string, std::string>> Files() {
  auto files = testkit::SettingsCorpus();
  std::string example = files.back().second;
  auto replaceAll = [](std::string s, const std::string& from, const std::string& to) {
    std::string out;
    for (char c : s) out += std::string(1, c) == from ? to : std::string(1, c);
    return out;
  };
  std::string crlf = replaceAll(example, "\n", "\r\n");
  files.emplace_back("example, UTF-16 LE CR LF", testkit::Utf16(crlf, false));
  files.emplace_back("example, UTF-16 BE", testkit::Utf16(example, true));
  files.emplace_back("example, UTF-8 BOM CR", "\xEF\xBB\xBF" + replaceAll(example, "\n", "\r"));
  std::string unended = crlf.substr(0, crlf.size() - 2);
  files.emplace_back("example, no last line end", unended);
  return files;
}

TEST(SettingsEditProperty, RandomEditsKeepEveryOtherReadingAndByte) {
  auto files = Files();
  ASSERT_GE(files.size(), 45u);
  std::mt19937 rng(20261208);
  Tally tally;
  for (int i = 0; i < kEdits; ++i) {
    auto& [name, bytes] = files[static_cast<size_t>(i) % files.size()];
    CheckEdit(name, bytes, rng, tally);
    if (testing::Test::HasFatalFailure()) return;
    // every fourth edit builds on the last one's result
    if (i % 4 == 3) {
      SettingsDocument doc(bytes);
      if (doc.Set("main", "Chain" + std::to_string(i % 7), std::to_string(i)).ok()) {
        bytes = doc.Bytes();
      }
    }
  }
  RecordProperty("edits", tally.edits);
  std::printf("%d edits: %d replaced, %d new keys, %d new sections, %d removals, %d refused\n",
              tally.edits, tally.replaced, tally.added, tally.sections, tally.removed,
              tally.refused);
  EXPECT_GE(tally.edits, 10000);
  EXPECT_GT(tally.replaced, 1000);
  EXPECT_GT(tally.added, 500);
  EXPECT_GT(tally.sections, 200);
  EXPECT_GT(tally.removed, 500);
}

}  // namespace
}  // namespace zq

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
#include "settings_edit_check.h"
#include "settings_edit_kit.h"

namespace zq {
namespace {

constexpr int kEdits = 12000;

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

void RandomEdit(const std::string& file, const std::string& before, std::mt19937& rng,
                Tally& tally) {
  SettingsDocument doc(before);
  const ProfileText& old = doc.Profile();
  // a key the file has (in some case), or a new one; a section it has, or not
  std::vector<std::pair<std::string, std::string>> known;
  for (size_t i = 1; i < old.Sections().size(); ++i) {
    for (const ProfileText::Entry& e : old.Sections()[i].entries)
      known.emplace_back(old.Sections()[i].name, e.name);
  }
  testkit::EditRequest q{"main", "Fresh" + std::to_string(rng() % 5), "", rng() % 5 == 0};
  int pick = static_cast<int>(rng() % 10);
  if (pick < 6 && !known.empty()) {
    std::tie(q.section, q.key) = known[rng() % known.size()];
    if (rng() % 3 == 0) {
      for (char& c : q.key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
  } else if (pick < 8 && old.Sections().size() > 1) {
    q.section = old.Sections()[1 + rng() % (old.Sections().size() - 1)].name;
  } else if (pick == 9) {
    q.section = "new section";
  }
  q.value = RandomValue(
      rng, doc.Encoding() == TextEncoding::utf16le || doc.Encoding() == TextEncoding::utf16be);
  EditResult r = q.unset ? doc.Unset(q.section, q.key) : doc.Set(q.section, q.key, q.value);
  testkit::EditKind kind;
  std::string broken = testkit::CheckEdit(before, q, r, doc.Bytes(), &kind);
  ASSERT_EQ(broken, "") << file << " [" << q.section << "] " << q.key << " = "
                        << testing::PrintToString(q.value) << (q.unset ? " (unset)" : "");
  ++tally.edits;
  switch (kind) {
    case testkit::EditKind::refused:
      ++tally.refused;
      break;
    case testkit::EditKind::replaced:
      ++tally.replaced;
      break;
    case testkit::EditKind::added:
      ++tally.added;
      break;
    case testkit::EditKind::newSection:
      ++tally.sections;
      break;
    case testkit::EditKind::removed:
      ++tally.removed;
      break;
    case testkit::EditKind::unchanged:
      break;
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
    RandomEdit(name, bytes, rng, tally);
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

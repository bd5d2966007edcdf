// The core's settings reader against the system's own GetPrivateProfileStringA
// on the odd files of profile_corpus/ (one file per case). Every difference
// must be one of the platform quirks listed below, and each listed quirk must
// still show, so the list stays true.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "config/binding.h"
#include "config/settings_file.h"
#include "platform/win32/win32_profile.h"

namespace zq {
namespace {

std::string CorpusDir() {
  std::string dir = ZQ_CORPUS_DIR;
  // Under wine the Linux root is drive Z:.
  if (!dir.empty() && dir.front() == '/') dir = "Z:" + dir;
  return dir;
}

std::vector<std::string> CorpusFiles() {
  std::vector<std::string> names;
  WIN32_FIND_DATAA found;
  HANDLE h = FindFirstFileA((CorpusDir() + "\\*.ini").c_str(), &found);
  if (h == INVALID_HANDLE_VALUE) return names;
  do names.emplace_back(found.cFileName);
  while (FindNextFileA(h, &found));
  FindClose(h);
  std::sort(names.begin(), names.end());
  return names;
}

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Shown(const std::string& s) {
  std::string out = "\"";
  for (unsigned char c : s.substr(0, 60)) {
    if (c >= 32 && c < 127 && c != '\\' && c != '"') {
      out += static_cast<char>(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    }
  }
  if (s.size() > 60) out += "...(" + std::to_string(s.size()) + " chars)";
  return out + "\"";
}

std::vector<std::string> PlatformSectionNames(const std::string& path) {
  std::vector<char> buf(65536);
  DWORD n =
      GetPrivateProfileSectionNamesA(buf.data(), static_cast<DWORD>(buf.size()), path.c_str());
  std::vector<std::string> names;
  for (size_t pos = 0; pos < n;) {
    std::string name(buf.data() + pos);
    if (name.empty()) break;
    pos += name.size() + 1;
    names.push_back(name);
  }
  return names;
}

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}
std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// The keys the settings load asks for, whatever the file holds.
std::vector<std::string> LoadKeys() {
  std::vector<std::string> keys;
  for (const SlotInfo& s : kSlotTable) keys.emplace_back(s.key);
  for (const char* axis : {"Y", "X", "Z"}) {
    keys.emplace_back(axis);
    for (int k = 1; k <= 9; ++k) keys.push_back(axis + std::to_string(k));
  }
  for (const char* k :
       {"TrimY", "TrimX", "TrimZ", "WindowX", "WindowY", "starttrim", "startflaps"}) {
    keys.emplace_back(k);
  }
  return keys;
}

struct Difference {
  std::string file, section, key, what, platform, core;
};

// Where the system's reader and the core's part ways. Each is the system's
// own quirk, not a convention a settings file could rely on, so the core keeps
// its reading; the program itself asks only for section "main".
struct Quirk {
  const char* file;     // nullptr: any file
  const char* section;  // nullptr: any section
  const char* what;     // "ReadText", "HasKey" or "key list"; nullptr: any
  const char* why;
};
const Quirk kQuirks[] = {
    {nullptr, "", nullptr,
     "lines before the first section header (or after a header without its ']') answer "
     "to the empty section name, and a later \"[]\" section is never reached"},
    {"bom_utf8_nonascii.ini", nullptr, "ReadText",
     "a Unicode file's letters come back in the ANSI code page ('?' where it has none); "
     "the core keeps them as UTF-8"},
    {"bom_utf16be_nonascii.ini", nullptr, "ReadText", "as above, for a UTF-16 file"},
    {"empty_key_name.ini", nullptr, "key list",
     "a line \"=5\" puts an empty name into the key list, which ends the list there: "
     "the keys after it vanish from HasKey"},
    {"empty_key_name.ini", nullptr, "HasKey", "the same, seen through HasKey"},
    {"nul_byte.ini", nullptr, "ReadText", "a NUL byte ends the value the system returns"},
};

bool IsQuirk(const Difference& d, std::vector<bool>& seen) {
  for (size_t i = 0; i < std::size(kQuirks); ++i) {
    const Quirk& q = kQuirks[i];
    if (q.file != nullptr && d.file != q.file) continue;
    if (q.section != nullptr && d.section != q.section) continue;
    if (q.what != nullptr && d.what != q.what) continue;
    seen[i] = true;
    return true;
  }
  return false;
}

void CompareFile(const std::string& name, std::vector<Difference>& out) {
  const std::string path = CorpusDir() + "\\" + name;
  ProfileTextSettings core(ReadBytes(path));
  Win32ProfileSettings platform(path);

  std::set<std::string> sections = {"main", "MAIN", "Main", "other", ""};
  for (const ProfileText::Section& s : core.Profile().Sections()) sections.emplace(s.name);
  for (const std::string& s : PlatformSectionNames(path)) sections.insert(s);

  std::vector<std::string> loadKeys = LoadKeys();
  for (const std::string& section : sections) {
    std::vector<std::string> platformList = platform.KeyList(section);
    std::vector<std::string> coreList = core.Profile().KeyList(section);
    if (platformList != coreList) {
      std::string p, c;
      for (const std::string& k : platformList) p += k + "|";
      for (const std::string& k : coreList) c += k + "|";
      out.push_back({name, section, "", "key list", p, c});
    }

    std::set<std::string> keys(loadKeys.begin(), loadKeys.end());
    std::vector<std::string> named = platformList;
    if (const ProfileText::Section* s = core.Profile().FindSection(section)) {
      for (const ProfileText::Entry& e : s->entries) named.emplace_back(e.name);
    }
    // Big files: every name is read, every 97th is also tried in other cases.
    for (size_t i = 0; i < named.size(); ++i) {
      keys.insert(named[i]);
      if (named.size() < 200 || i % 97 == 0) {
        keys.insert(Upper(named[i]));
        keys.insert(Lower(named[i]));
      }
    }
    for (const std::string& key : keys) {
      if (key.empty()) continue;  // an empty key asks for the key list
      std::string p = platform.ReadText(section, key, "<def>");
      std::string c = core.ReadText(section, key, "<def>");
      if (p != c) out.push_back({name, section, key, "ReadText", p, c});
      if (named.size() < 200 ||
          loadKeys.end() != std::find(loadKeys.begin(), loadKeys.end(), key)) {
        bool ph = platform.HasKey(section, key), ch = core.HasKey(section, key);
        if (ph != ch) {
          out.push_back(
              {name, section, key, "HasKey", ph ? "true" : "false", ch ? "true" : "false"});
        }
      }
    }
  }
}

TEST(ProfileCorpus, HoldsOneFilePerOddCase) {
  EXPECT_GE(CorpusFiles().size(), 40u) << "corpus folder: " << CorpusDir();
}

TEST(ProfileCorpus, CoreReaderAgreesWithTheSystemOutsideItsListedQuirks) {
  std::vector<bool> seen(std::size(kQuirks), false);
  size_t files = 0;
  for (const std::string& name : CorpusFiles()) {
    ++files;
    std::vector<Difference> diffs;
    CompareFile(name, diffs);
    // A few lines per file say enough; the count says how far it goes.
    std::string report;
    size_t unexpected = 0;
    for (const Difference& d : diffs) {
      if (IsQuirk(d, seen)) continue;
      if (++unexpected <= 4) {
        report += "\n  [" + d.section + "] " + Shown(d.key) + " " + d.what + ": system " +
                  Shown(d.platform) + ", core " + Shown(d.core);
      }
    }
    if (unexpected != 0) ADD_FAILURE() << name << ": " << unexpected << " differences" << report;
  }
  ASSERT_GT(files, 0u);
  for (size_t i = 0; i < std::size(kQuirks); ++i) {
    EXPECT_TRUE(seen[i]) << "listed quirk no longer seen: " << kQuirks[i].why;
  }
}

}  // namespace
}  // namespace zq

#include "config/settings_file.h"

#include <algorithm>

#include "config/ascii.h"
#include "config/integer_syntax.h"

namespace zq {
namespace {

// Blank as the profile calls see it: white space and the old end-of-file mark.
bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f' || c == 0x1a;
}

// FNV-1a of the name as compared: letter case does not count.
uint32_t FoldedHash(std::string_view s) {
  uint32_t h = 2166136261u;
  for (char c : s) h = (h ^ static_cast<unsigned char>(AsciiLower(c))) * 16777619u;
  return h;
}

std::string_view Trim(std::string_view s) {
  return TrimProfileBlanks(s);
}

std::string ValueText(const ProfileText::Entry& e) {
  std::string_view v = e.value;
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
    v = v.substr(1, v.size() - 2);
  }
  if (v.size() > kMaxValueChars) v = v.substr(0, kMaxValueChars);
  return std::string(v);
}

}  // namespace

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// A file saved as "Unicode" (UTF-16 with its byte-order mark) is read by the
// profile calls as text; here it becomes UTF-8, as a UTF-8 file would read.
std::string Utf16ToUtf8(std::string_view bytes, bool bigEndian) {
  std::string out;
  out.reserve(bytes.size() / 2);
  auto unit = [&](size_t i) {
    auto hi = static_cast<unsigned char>(bytes[bigEndian ? i : i + 1]);
    auto lo = static_cast<unsigned char>(bytes[bigEndian ? i + 1 : i]);
    return static_cast<uint32_t>(hi << 8 | lo);
  };
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    uint32_t cp = unit(i);
    if (cp >= 0xD800 && cp < 0xDC00 && i + 3 < bytes.size()) {
      uint32_t low = unit(i + 2);
      if (low >= 0xDC00 && low < 0xE000) {
        cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
        i += 2;
      }
    }
    if (cp >= 0xD800 && cp < 0xE000) cp = 0xFFFD;  // a lone surrogate
    AppendUtf8(out, cp);
  }
  return out;
}

bool IsProfileBlank(char c) {
  return IsBlank(c);
}

std::string_view TrimProfileBlanks(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

ProfileText::ProfileText(std::string bytes) {
  std::string_view raw = bytes;
  if (raw.substr(0, 2) == "\xFF\xFE" || raw.substr(0, 2) == "\xFE\xFF") {
    bytes = Utf16ToUtf8(raw.substr(2), raw[0] == '\xFE');
  }
  text_ = std::make_shared<const std::string>(std::move(bytes));
  std::string_view text = *text_;
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  sections_.push_back(Section{});  // lines before the first section header
  size_t pos = 0;
  int line = 0;
  while (pos < text.size()) {
    size_t end = pos;
    while (end < text.size() && text[end] != '\n' && text[end] != '\r') ++end;
    ++line;
    // CR LF counts as one line end
    size_t next = end;
    if (next < text.size() && text[next] == '\r' && next + 1 < text.size() &&
        text[next + 1] == '\n') {
      next += 2;
    } else if (next < text.size()) {
      next += 1;
    }
    std::string_view raw = Trim(text.substr(pos, end - pos));
    pos = next;
    if (raw.empty()) continue;
    if (raw.front() == '[') {
      size_t close = raw.rfind(']');
      if (close != std::string_view::npos) {
        // "[ main ]" names section "main": blanks inside the brackets do not count
        sections_.push_back(Section{
            Trim(raw.substr(1, close - 1)), line, {}, static_cast<uint32_t>(entries_.size())});
        continue;
      }
    }
    if (raw.front() == ';') continue;
    Entry entry;
    entry.line = line;
    size_t eq = raw.find('=');
    if (eq == std::string_view::npos) {
      entry.name = raw;
    } else {
      entry.name = Trim(raw.substr(0, eq));
      entry.value = Trim(raw.substr(eq + 1));
      entry.hasValue = true;
    }
    entries_.push_back(entry);
  }
  Link();
  BuildIndexes();
}

ProfileText::ProfileText(const ProfileText& other)
    : text_(other.text_),
      entries_(other.entries_),
      sections_(other.sections_),
      sectionIndex_(other.sectionIndex_),
      entryIndex_(other.entryIndex_) {
  Link();
}

ProfileText& ProfileText::operator=(const ProfileText& other) {
  if (this != &other) {
    ProfileText copy(other);
    *this = std::move(copy);
  }
  return *this;
}

void ProfileText::Link() {
  for (size_t i = 0; i < sections_.size(); ++i) {
    size_t end = i + 1 < sections_.size() ? sections_[i + 1].first : entries_.size();
    sections_[i].entries =
        std::span<const Entry>(entries_.data() + sections_[i].first, end - sections_[i].first);
  }
}

void ProfileText::BuildIndexes() {
  // A few hundred lines are walked faster than an index is built.
  constexpr size_t kIndexFrom = 256;
  if (sections_.size() > kIndexFrom) {
    sectionIndex_.reserve(sections_.size() - 1);
    for (size_t i = 1; i < sections_.size(); ++i) {
      sectionIndex_.emplace_back(FoldedHash(sections_[i].name), static_cast<uint32_t>(i));
    }
    std::sort(sectionIndex_.begin(), sectionIndex_.end());
  }
  if (entries_.size() > kIndexFrom) {
    entryIndex_.reserve(entries_.size());
    for (size_t i = 0; i < sections_.size(); ++i) {
      for (size_t k = 0; k < sections_[i].entries.size(); ++k) {
        uint32_t n = sections_[i].first + static_cast<uint32_t>(k);
        entryIndex_.emplace_back(uint64_t{i} << 32 | FoldedHash(entries_[n].name), n);
      }
    }
    std::sort(entryIndex_.begin(), entryIndex_.end());
  }
}

const ProfileText::Section* ProfileText::FindSection(std::string_view name) const {
  name = Trim(name);
  if (!sectionIndex_.empty()) {
    // equal hashes sit in file order: the first that matches is the first section
    const uint32_t wanted = FoldedHash(name);
    auto it = std::lower_bound(sectionIndex_.begin(), sectionIndex_.end(),
                               std::pair<uint32_t, uint32_t>{wanted, 0});
    for (; it != sectionIndex_.end() && it->first == wanted; ++it) {
      if (EqualsNoCase(sections_[it->second].name, name)) return &sections_[it->second];
    }
    return nullptr;
  }
  // index 0 holds the lines before any header; it has no name to match
  for (size_t i = 1; i < sections_.size(); ++i) {
    if (EqualsNoCase(sections_[i].name, name)) return &sections_[i];
  }
  return nullptr;
}

const ProfileText::Entry* ProfileText::FindEntry(std::string_view section,
                                                 std::string_view key) const {
  const Section* s = FindSection(section);
  if (s == nullptr) return nullptr;
  key = Trim(key);
  if (!entryIndex_.empty()) {
    const uint64_t wanted =
        uint64_t{static_cast<uint32_t>(s - sections_.data())} << 32 | FoldedHash(key);
    auto it = std::lower_bound(entryIndex_.begin(), entryIndex_.end(),
                               std::pair<uint64_t, uint32_t>{wanted, 0});
    for (; it != entryIndex_.end() && it->first == wanted; ++it) {
      if (EqualsNoCase(entries_[it->second].name, key)) return &entries_[it->second];
    }
    return nullptr;
  }
  for (const Entry& e : s->entries) {
    if (EqualsNoCase(e.name, key)) return &e;
  }
  return nullptr;
}

std::vector<std::string> ProfileText::KeyList(std::string_view section) const {
  std::vector<std::string> names;
  const Section* s = FindSection(section);
  if (s == nullptr) return names;
  // Each name takes its characters plus a terminator; the list ends with one
  // more terminator, so the names get at most kKeyListChars - 2 of the room.
  size_t room = kKeyListChars - 1;
  for (const Entry& e : s->entries) {
    if (!e.hasValue || e.name.empty()) continue;
    if (room <= 1) break;
    size_t take = e.name.size() + 1 <= room ? e.name.size() : room - 1;
    names.emplace_back(e.name.substr(0, take));
    room -= take + 1;
  }
  return names;
}

std::string ReadEntryValue(const ProfileText::Entry& entry) {
  return ValueText(entry);
}

std::string ReadTextFrom(const ProfileText& profile, std::string_view section, std::string_view key,
                         std::string_view def) {
  const ProfileText::Entry* e = profile.FindEntry(section, key);
  if (e == nullptr || !e->hasValue) return std::string(def);
  return ValueText(*e);
}

bool HasKeyIn(const ProfileText& profile, std::string_view section, std::string_view key) {
  for (const std::string& name : profile.KeyList(section)) {
    if (EqualsNoCase(name, key)) return true;
  }
  return false;
}

std::string ProfileTextSettings::ReadText(std::string_view section, std::string_view key,
                                          std::string_view def) const {
  return ReadTextFrom(profile_, section, key, def);
}

bool ProfileTextSettings::HasKey(std::string_view section, std::string_view key) const {
  return HasKeyIn(profile_, section, key);
}

int32_t ReadInt(const SettingsLookup& settings, std::string_view section, std::string_view key,
                int32_t def) {
  std::string text = settings.ReadText(section, key, "");
  if (text.empty()) return def;
  return ParseSettingsInt(text).value_or(def);
}

}  // namespace zq

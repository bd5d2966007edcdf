#include "config/settings_document.h"

#include "config/ascii.h"

#include <algorithm>
#include <map>

namespace zq {
namespace {

bool IsQuotePair(std::string_view v) {
  return v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front();
}

bool IsControl(char c) {
  return IsControlByte(static_cast<unsigned char>(c));
}

// Strict UTF-8: no overlong forms, no surrogates, nothing past U+10FFFF.
bool DecodeUtf8(std::string_view s, std::vector<uint32_t>& out) {
  for (size_t i = 0; i < s.size();) {
    auto b = static_cast<unsigned char>(s[i]);
    size_t n = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + n > s.size()) return false;
    uint32_t cp = n == 1 ? b : b & (0x7F >> n);
    for (size_t k = 1; k < n; ++k) {
      auto c = static_cast<unsigned char>(s[i + k]);
      if ((c & 0xC0) != 0x80) return false;
      cp = cp << 6 | (c & 0x3F);
    }
    static const uint32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kMin[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp < 0xE000)) return false;
    out.push_back(cp);
    i += n;
  }
  return true;
}

// What the panel reads from every section it can reach: the first section of
// each name, the first entry of each key, "=value" or "-" for a line without "=".
using Readings = std::map<std::string, std::map<std::string, std::string>>;

Readings ReadAll(const ProfileText& profile) {
  Readings all;
  const std::vector<ProfileText::Section>& sections = profile.Sections();
  for (size_t i = 1; i < sections.size(); ++i) {  // 0: lines before any header
    auto [keys, first] = all.try_emplace(AsciiLower(sections[i].name));
    if (!first) continue;
    for (const ProfileText::Entry& e : sections[i].entries) {
      keys->second.try_emplace(AsciiLower(e.name), e.hasValue ? "=" + ReadEntryValue(e) : "-");
    }
  }
  return all;
}

}  // namespace

const char* EncodingName(TextEncoding e) {
  switch (e) {
    case TextEncoding::bytes:
      return "ANSI or UTF-8";
    case TextEncoding::utf8Bom:
      return "UTF-8 with byte-order mark";
    case TextEncoding::utf16le:
      return "UTF-16 LE";
    case TextEncoding::utf16be:
      return "UTF-16 BE";
  }
  return "?";
}

std::string ValueProblem(std::string_view value) {
  if (value.find('\0') != std::string_view::npos) return "a value cannot hold a NUL character";
  if (value.find_first_of("\r\n") != std::string_view::npos)
    return "a value cannot hold a line break";
  if (!value.empty() && (IsProfileBlank(value.front()) || IsProfileBlank(value.back())))
    return "blanks at the start or end of a value are dropped by the reader";
  if (IsQuotePair(value)) return "the reader drops one pair of quotes around a value";
  if (value.size() > kMaxValueChars)
    return "the reader takes at most " + std::to_string(kMaxValueChars) + " characters of a value";
  return "";
}

std::string KeyProblem(std::string_view key) {
  if (key.empty()) return "a key name cannot be empty";
  if (std::any_of(key.begin(), key.end(), IsControl))
    return "a key name cannot hold a control character or line break";
  if (key.find('=') != std::string_view::npos) return "a key name cannot hold '='";
  if (IsProfileBlank(key.front()) || IsProfileBlank(key.back()))
    return "blanks at the start or end of a key name are dropped by the reader";
  if (key.front() == ';') return "a line starting with ';' is a comment";
  if (key.front() == '[') return "a line starting with '[' can be read as a section header";
  return "";
}

std::string SectionProblem(std::string_view section) {
  if (section.empty()) return "a section name cannot be empty";
  if (std::any_of(section.begin(), section.end(), IsControl))
    return "a section name cannot hold a control character or line break";
  if (section.find_first_of("[]") != std::string_view::npos)
    return "a section name cannot hold '[' or ']'";
  if (IsProfileBlank(section.front()) || IsProfileBlank(section.back()))
    return "blanks at the start or end of a section name are dropped by the reader";
  return "";
}

SettingsDocument::SettingsDocument(std::string bytes) : bytes_(std::move(bytes)) {
  Parse();
}

size_t SettingsDocument::UnitSize() const {
  return encoding_ == TextEncoding::utf16le || encoding_ == TextEncoding::utf16be ? 2 : 1;
}

uint32_t SettingsDocument::UnitAt(size_t pos) const {
  auto b = [&](size_t i) { return static_cast<uint32_t>(static_cast<unsigned char>(bytes_[i])); };
  if (encoding_ == TextEncoding::utf16le) return b(pos) | b(pos + 1) << 8;
  if (encoding_ == TextEncoding::utf16be) return b(pos) << 8 | b(pos + 1);
  return b(pos);
}

// Lines end at CR, LF or CR LF, as the reader splits them; a UTF-16 file is
// split on its 16-bit units, so its bytes never pass through a conversion.
void SettingsDocument::Parse() {
  std::string_view head(bytes_.data(), std::min<size_t>(bytes_.size(), 3));
  if (head.substr(0, 2) == "\xFF\xFE") {
    encoding_ = TextEncoding::utf16le;
  } else if (head.substr(0, 2) == "\xFE\xFF") {
    encoding_ = TextEncoding::utf16be;
  } else if (head == "\xEF\xBB\xBF") {
    encoding_ = TextEncoding::utf8Bom;
  } else {
    encoding_ = TextEncoding::bytes;
  }
  bomSize_ = encoding_ == TextEncoding::bytes ? 0 : encoding_ == TextEncoding::utf8Bom ? 3 : 2;
  const size_t u = UnitSize();
  textEnd_ = bomSize_ + (bytes_.size() - bomSize_) / u * u;
  lines_.clear();
  for (size_t pos = bomSize_; pos < textEnd_;) {
    Line line;
    line.begin = pos;
    while (pos < textEnd_ && UnitAt(pos) != '\r' && UnitAt(pos) != '\n') pos += u;
    line.contentEnd = pos;
    if (pos < textEnd_ && UnitAt(pos) == '\r' && pos + u < textEnd_ && UnitAt(pos + u) == '\n') {
      pos += 2 * u;
    } else if (pos < textEnd_) {
      pos += u;
    }
    line.end = pos;
    lines_.push_back(line);
  }
  profile_ = ProfileText(bytes_);
}

std::string SettingsDocument::DominantLineEnd() const {
  size_t crlf = 0, lf = 0, cr = 0;
  for (const Line& l : lines_) {
    if (l.end == l.contentEnd) continue;
    if (l.end - l.contentEnd == 2 * UnitSize()) {
      ++crlf;
    } else if (UnitAt(l.contentEnd) == '\n') {
      ++lf;
    } else {
      ++cr;
    }
  }
  if (crlf + lf + cr == 0) return "\n";
  if (crlf >= lf && crlf >= cr) return "\r\n";
  return lf >= cr ? "\n" : "\r";
}

bool SettingsDocument::LastLineEnded() const {
  return lines_.empty() || lines_.back().end > lines_.back().contentEnd;
}

std::string SettingsDocument::LineText(int line) const {
  if (line < 1 || static_cast<size_t>(line) > lines_.size()) return "";
  const Line& l = lines_[static_cast<size_t>(line) - 1];
  std::string_view raw(bytes_.data() + l.begin, l.contentEnd - l.begin);
  if (UnitSize() == 2) return Utf16ToUtf8(raw, encoding_ == TextEncoding::utf16be);
  return std::string(raw);
}

std::string SettingsDocument::Read(std::string_view section, std::string_view key,
                                   std::string_view def) const {
  return ReadTextFrom(profile_, section, key, def);
}

bool SettingsDocument::Has(std::string_view section, std::string_view key) const {
  return HasKeyIn(profile_, section, key);
}

// Callers pass text already checked to be valid UTF-8 where the file is UTF-16.
std::string SettingsDocument::Encode(std::string_view utf8) const {
  if (UnitSize() == 1) return std::string(utf8);
  std::vector<uint32_t> cps;
  DecodeUtf8(utf8, cps);
  std::string out;
  auto put = [&](uint32_t unit) {
    char hi = static_cast<char>(unit >> 8), lo = static_cast<char>(unit & 0xFF);
    out += encoding_ == TextEncoding::utf16be ? hi : lo;
    out += encoding_ == TextEncoding::utf16be ? lo : hi;
  };
  for (uint32_t cp : cps) {
    if (cp >= 0x10000) {
      put(0xD800 + ((cp - 0x10000) >> 10));
      put(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      put(cp);
    }
  }
  return out;
}

// The line with its value swapped: the key as written, the blanks around "="
// and after the value, and the line end stay.
std::string SettingsDocument::ReplaceValueIn(const Line& line, const std::string& value) const {
  const size_t u = UnitSize();
  const size_t n = (line.contentEnd - line.begin) / u;
  auto unit = [&](size_t i) { return UnitAt(line.begin + i * u); };
  auto blank = [&](size_t i) {
    uint32_t c = unit(i);
    return c < 0x80 && IsProfileBlank(static_cast<char>(c));
  };
  auto raw = [&](size_t from, size_t to) {
    return bytes_.substr(line.begin + from * u, (to - from) * u);
  };
  size_t eq = 0;
  while (eq < n && unit(eq) != '=') ++eq;
  if (eq == n) {  // a name alone: "=value" goes after it
    size_t last = n;
    while (last > 0 && blank(last - 1)) --last;
    return raw(0, last) + Encode("=" + value) + raw(last, n);
  }
  size_t vs = eq + 1;
  while (vs < n && blank(vs)) ++vs;
  size_t ve = n;
  while (ve > vs && blank(ve - 1)) --ve;
  return raw(0, vs) + Encode(value) + raw(ve, n);
}

EditResult SettingsDocument::Set(std::string_view section, std::string_view key,
                                 std::string_view value) {
  std::string problem = SectionProblem(section);
  if (problem.empty()) problem = KeyProblem(key);
  if (problem.empty()) problem = ValueProblem(value);
  if (!problem.empty()) return {problem, {}};
  if (UnitSize() == 2) {
    std::vector<uint32_t> check;
    for (std::string_view text : {section, key, value}) {
      if (!DecodeUtf8(text, check))
        return {"the file is UTF-16: names and values must be given as UTF-8 text", {}};
    }
  }
  const std::string v(value);
  const std::string keyLine = std::string(key) + "=" + v;
  const std::string end = DominantLineEnd();
  std::string next;
  LineChange change;
  const ProfileText::Section* s = profile_.FindSection(section);
  const ProfileText::Entry* e = s != nullptr ? profile_.FindEntry(section, key) : nullptr;
  if (e != nullptr) {  // the line the reader finds, even one without "="
    const Line& l = lines_[static_cast<size_t>(e->line) - 1];
    std::string text = ReplaceValueIn(l, v);
    next = bytes_.substr(0, l.begin) + text + bytes_.substr(l.contentEnd);
    change = {e->line, e->line, LineText(e->line), "", false, false};
    if (UnitSize() == 2) {
      change.after = Utf16ToUtf8(text, encoding_ == TextEncoding::utf16be);
    } else {
      change.after = text;
    }
  } else if (s != nullptr) {  // after the section's last entry, or its header
    int last = s->line;
    for (const ProfileText::Entry& entry : s->entries) last = std::max(last, entry.line);
    const Line& l = lines_[static_cast<size_t>(last) - 1];
    std::string insert;
    if (l.end == l.contentEnd) {  // the file's last line: the new one stays unended too
      insert = Encode(end + keyLine);
    } else {
      // a lone CR before an empty LF line would merge with it into one line end
      bool lfNext = l.end < textEnd_ && UnitAt(l.end) == '\n';
      insert = Encode(keyLine + (end == "\r" && lfNext ? "\r\n" : end));
    }
    next = bytes_.substr(0, l.end) + insert + bytes_.substr(l.end);
    change = {0, last + 1, "", keyLine, false, true};
  } else {  // a new section at the end of the file
    size_t at = lines_.empty() ? bomSize_ : lines_.back().end;
    bool ended = LastLineEnded();
    std::string header = "[" + std::string(section) + "]";
    std::string insert = (ended ? "" : end) + header + end + keyLine + (ended ? end : "");
    next = bytes_.substr(0, at) + Encode(insert) + bytes_.substr(at);
    int first = static_cast<int>(lines_.size()) + 1;
    change = {0, first, "", header, false, true};
    return Commit(std::move(next), section, key, &v,
                  {change, {0, first + 1, "", keyLine, false, true}});
  }
  return Commit(std::move(next), section, key, &v, {change});
}

EditResult SettingsDocument::Unset(std::string_view section, std::string_view key) {
  std::string problem = SectionProblem(section);
  if (problem.empty()) problem = KeyProblem(key);
  if (!problem.empty()) return {problem, {}};
  const ProfileText::Section* s = profile_.FindSection(section);
  if (s == nullptr) return {};
  std::vector<int> doomed;
  for (const ProfileText::Entry& e : s->entries) {
    if (EqualsNoCase(e.name, TrimProfileBlanks(key))) doomed.push_back(e.line);
  }
  if (doomed.empty()) return {};
  std::string next = bytes_;
  std::vector<LineChange> changes;
  for (auto it = doomed.rbegin(); it != doomed.rend(); ++it) {
    const Line& l = lines_[static_cast<size_t>(*it) - 1];
    next.erase(l.begin, l.end - l.begin);
  }
  for (int line : doomed) changes.push_back({line, 0, LineText(line), "", true, false});
  return Commit(std::move(next), section, key, nullptr, std::move(changes));
}

EditResult SettingsDocument::Commit(std::string next, std::string_view section,
                                    std::string_view key, const std::string* value,
                                    std::vector<LineChange> changes) {
  if (next == bytes_) return {};
  ProfileText after(next);
  Readings expected = ReadAll(profile_);
  if (value != nullptr) {
    expected[AsciiLower(section)][AsciiLower(key)] = "=" + *value;
  } else if (auto it = expected.find(AsciiLower(section)); it != expected.end()) {
    it->second.erase(AsciiLower(key));
  }
  if (ReadAll(after) != expected) {
    return {"the reader would not read the file back as intended; nothing was changed", {}};
  }
  if (value != nullptr && !HasKeyIn(after, section, key)) {
    return {"section [" + std::string(section) +
                "] lists too many key names for the reader to see a new one",
            {}};
  }
  bytes_ = std::move(next);
  Parse();
  return {"", std::move(changes)};
}

}  // namespace zq

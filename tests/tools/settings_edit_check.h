// The settings editor's promise, checked after one edit (by the property
// test and the fuzz target): the reader reads the new value for the edited
// key and the old value for every other key, and every byte outside the
// edited lines is the old one.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "config/settings_document.h"

namespace zq::testkit {

struct EditRequest {
  std::string section, key, value;
  bool unset = false;
};

enum class EditKind { refused, unchanged, replaced, added, newSection, removed };

// Lines as the reader splits them, in bytes of the file.
struct Span {
  size_t begin, contentEnd, end;
};
inline std::vector<Span> SplitLines(const std::string& b, size_t* textStart = nullptr) {
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

// "" when the edit of `before` into `after` kept the promise, else what broke.
inline std::string CheckEdit(const std::string& before, const EditRequest& q, const EditResult& r,
                             const std::string& after, EditKind* kind = nullptr) {
  EditKind dummy;
  if (kind == nullptr) kind = &dummy;
  const ProfileText old(before);
  if (!r.ok()) {
    *kind = EditKind::refused;
    if (after != before) return "refused, but the bytes changed";
    bool valid = SectionProblem(q.section).empty() && KeyProblem(q.key).empty() &&
                 (q.unset || ValueProblem(q.value).empty());
    if (valid && r.error.find("key names") == std::string::npos &&
        r.error.find("UTF-8") == std::string::npos) {
      return "a valid edit was refused: " + r.error;
    }
    return "";
  }
  const ProfileText now(after);
  const std::string def = "\x01<def>";
  if (ReadTextFrom(now, q.section, q.key, def) != (q.unset ? def : q.value))
    return "the edited key does not read back";
  // every name either reading knows: all of a small file, a spread of a big one
  std::vector<std::pair<std::string, std::string>> names;
  for (const ProfileText* p : {&old, &now}) {
    for (const ProfileText::Section& s : p->Sections()) {
      names.emplace_back(s.name, "Y");
      size_t step = s.entries.size() / 200 + 1;
      for (size_t i = 0; i < s.entries.size(); i += step)
        names.emplace_back(s.name, s.entries[i].name);
    }
  }
  for (const auto& [s, k] : names) {
    if (EqualsNoCase(s, q.section) && EqualsNoCase(k, q.key)) continue;
    if (ReadTextFrom(now, s, k, def) != ReadTextFrom(old, s, k, def))
      return "[" + s + "] " + k + " reads differently";
  }
  if (after == before) {
    *kind = EditKind::unchanged;
    return "";
  }
  size_t textStart = 0;
  const std::vector<Span> lines = SplitLines(before, &textStart);
  const ProfileText::Section* section = old.FindSection(q.section);
  if (q.unset) {
    *kind = EditKind::removed;
    std::string expected = before;
    for (auto e = section->entries.rbegin(); e != section->entries.rend(); ++e) {
      if (!EqualsNoCase(e->name, q.key)) continue;
      const Span& l = lines[static_cast<size_t>(e->line) - 1];
      expected.erase(l.begin, l.end - l.begin);
    }
    return after == expected ? "" : "more than the key's lines were removed";
  }
  if (const ProfileText::Entry* found = old.FindEntry(q.section, q.key)) {
    *kind = EditKind::replaced;
    const Span& l = lines[static_cast<size_t>(found->line) - 1];
    size_t tail = before.size() - l.contentEnd;
    if (after.compare(0, l.begin, before, 0, l.begin) != 0 || after.size() < tail ||
        after.compare(after.size() - tail, tail, before, l.contentEnd, tail) != 0) {
      return "bytes outside the key's line changed";
    }
    return SplitLines(after).size() == lines.size() ? "" : "a line break came in";
  }
  *kind = section != nullptr ? EditKind::added : EditKind::newSection;
  // an insertion at a line boundary: the old bytes on both sides of it
  if (after.size() <= before.size()) return "a new line, but the file did not grow";
  size_t prefix = 0, suffix = 0;
  while (prefix < before.size() && before[prefix] == after[prefix]) ++prefix;
  while (suffix < before.size() &&
         before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix])
    ++suffix;
  std::vector<size_t> bounds = {textStart};
  for (const Span& l : lines) bounds.push_back(l.end);
  bool atBoundary = std::any_of(bounds.begin(), bounds.end(), [&](size_t b) {
    return b <= prefix && before.size() - b <= suffix;
  });
  return atBoundary ? "" : "not a pure insertion at a line end";
}

}  // namespace zq::testkit

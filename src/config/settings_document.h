// A settings file held as its exact bytes, edited one key at a time. Keys
// are found by the panel's own reader (ProfileText), so an edit lands on the
// line the panel reads; every other byte of the file stays as it was:
// comments, blank lines, other sections, unknown and repeated keys, each
// line's end, the encoding and its byte-order mark, a missing last line end.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "config/settings_file.h"

namespace zq {

// How the reader sees the bytes: single bytes (ANSI or UTF-8, as they are),
// UTF-8 after its byte-order mark, or UTF-16 after its byte-order mark.
enum class TextEncoding { bytes, utf8Bom, utf16le, utf16be };
const char* EncodingName(TextEncoding e);

// Why the reader could not give this back as written ("" when it can): the
// value of "key=value", a key name, a section name.
std::string ValueProblem(std::string_view value);
std::string KeyProblem(std::string_view key);
std::string SectionProblem(std::string_view section);

// One line of the file that an edit changed, as text (UTF-8 for a UTF-16
// file) without its line end; line numbers are 1-based, 0 where none.
struct LineChange {
  int oldLine = 0;
  int newLine = 0;
  std::string before;  // "" for a new line
  std::string after;   // "" for a removed line
  bool removed = false;
  bool added = false;
};

struct EditResult {
  std::string error;  // why nothing changed; "" on success
  std::vector<LineChange> changes;
  bool ok() const { return error.empty(); }
};

class SettingsDocument {
 public:
  explicit SettingsDocument(std::string bytes = {});

  const std::string& Bytes() const { return bytes_; }
  TextEncoding Encoding() const { return encoding_; }
  // The line end most lines have ("\r\n" on a tie); "\n" when none has one.
  std::string DominantLineEnd() const;
  bool LastLineEnded() const;
  size_t LineCount() const { return lines_.size(); }
  // A line's text without its end (1-based), as the reader decodes it.
  std::string LineText(int line) const;

  // The panel's reading of the file.
  const ProfileText& Profile() const { return profile_; }
  std::string Read(std::string_view section, std::string_view key, std::string_view def) const;
  bool Has(std::string_view section, std::string_view key) const;

  // Sets the key's value in the first section of that name: on the line the
  // reader finds for it, or on a new line at the end of the section, or in a
  // new section at the end of the file. Refused, changing nothing, when the
  // reader would not read back exactly `value` or would read any other key
  // differently.
  EditResult Set(std::string_view section, std::string_view key, std::string_view value);
  // Removes every line of the key in the first section of that name, so the
  // reader falls back to its default (not to a later repeat of the key).
  EditResult Unset(std::string_view section, std::string_view key);

 private:
  struct Line {
    size_t begin = 0;       // first byte of the text
    size_t contentEnd = 0;  // first byte of the line end
    size_t end = 0;         // first byte after the line end
  };
  void Parse();
  size_t UnitSize() const;
  uint32_t UnitAt(size_t pos) const;
  std::string Encode(std::string_view utf8) const;  // text in the file's encoding
  std::string ReplaceValueIn(const Line& line, const std::string& value) const;
  // Swaps in `next` if the reader's view changed as expected, else keeps the old bytes.
  EditResult Commit(std::string next, std::string_view section, std::string_view key,
                    const std::string* value, std::vector<LineChange> changes);

  std::string bytes_;
  TextEncoding encoding_ = TextEncoding::bytes;
  size_t bomSize_ = 0;
  size_t textEnd_ = 0;  // where lines stop: a lone last byte of UTF-16 is no unit
  std::vector<Line> lines_;
  ProfileText profile_{""};
};

}  // namespace zq

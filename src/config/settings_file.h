// Read-only access to the settings file, the way the profile-file calls of
// the platform see it.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zq {

constexpr size_t kMaxValueChars = 2047;  // a longer value is cut
constexpr size_t kKeyListChars = 16384;  // one read of a section's key names

// What the settings load needs from the settings file. A missing file,
// section or key gives the default. (The Windows profile call consults the
// file anew for each key; SettingsSnapshot answers from one reading.)
class SettingsLookup {
 public:
  virtual ~SettingsLookup() = default;
  // The key's value, at most 2047 characters; `def` when file, section or key
  // is missing. A key present with an empty value gives "".
  virtual std::string ReadText(std::string_view section, std::string_view key,
                               std::string_view def) const = 0;
  // True when the section lists the key, whatever its value.
  virtual bool HasKey(std::string_view section, std::string_view key) const = 0;
};

// The key's text through the settings integer syntax; `def` when the key is
// missing, empty or not a valid integer.
int32_t ReadInt(const SettingsLookup& settings, std::string_view section, std::string_view key,
                int32_t def);

// A parsed profile file. Conventions followed (those of the platform's
// profile calls): a line is ended by CR or LF; blanks and control characters
// around a line are ignored; "[name]" opens a section (up to the last "]" of
// the line, blanks around the name ignored, names compared without regard to
// letter case, first section of a name wins); "key=value" with blanks around key and value trimmed,
// first occurrence of a key wins, keys compared without regard to letter case; a line without "="
// names no value and is not listed; lines starting with ";" are comments; one pair of matching
// quotes around a value is removed; a UTF-8 byte-order mark at the start of the file is skipped,
// and a file with a UTF-16 byte-order mark (either byte order) is read as its UTF-8 text.
//
// Names and values are views into the profile's own copy of the text, shared
// by its copies: a large file costs its bytes and a small record per line.
class ProfileText {
 public:
  explicit ProfileText(std::string text);

  struct Entry {
    std::string_view name;
    std::string_view value;
    bool hasValue = false;
    int line = 0;  // 1-based line in the file
  };
  struct Section {
    std::string_view name;
    int line = 0;
    std::deque<Entry> entries;  // grows without moving what it holds
  };

  // The first section of that name, or nullptr.
  const Section* FindSection(std::string_view name) const;
  // The first entry of that key in the first section of that name, or nullptr.
  const Entry* FindEntry(std::string_view section, std::string_view key) const;
  // The key names of the section as one read of at most kKeyListChars
  // characters returns them (a name cut by the limit stays cut).
  std::vector<std::string> KeyList(std::string_view section) const;

  const std::vector<Section>& Sections() const { return sections_; }

 private:
  std::shared_ptr<const std::string> text_;
  std::vector<Section> sections_;
};

std::string ReadTextFrom(const ProfileText& profile, std::string_view section, std::string_view key,
                         std::string_view def);
bool HasKeyIn(const ProfileText& profile, std::string_view section, std::string_view key);

// Settings from a profile-file text held in memory.
class ProfileTextSettings : public SettingsLookup {
 public:
  explicit ProfileTextSettings(std::string_view text) : profile_(std::string(text)) {}
  std::string ReadText(std::string_view section, std::string_view key,
                       std::string_view def) const override;
  bool HasKey(std::string_view section, std::string_view key) const override;
  const ProfileText& Profile() const { return profile_; }

 private:
  ProfileText profile_;
};

bool EqualsNoCase(std::string_view a, std::string_view b);

}  // namespace zq

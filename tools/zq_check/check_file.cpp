// The file as a whole: sections, repeated and unknown keys, start values.
#include <unordered_map>

#include "config/integer_syntax.h"
#include "config/settings_snapshot.h"
#include "zq_check/check_steps.h"
#include "zq_check/key_suggest.h"

namespace zq::check {
namespace {

constexpr size_t kShownChars = 60;

const ProfileText::Section* MainSection(const ProfileText& profile) {
  return profile.FindSection("main");
}

const char* FlapName(int32_t position) {
  static const char* const kNames[] = {"retracted", "combat", "take-off", "landing"};
  return kNames[position < 0 ? 0 : (position > 3 ? 3 : position)];
}

void NoteOtherSections(const ProfileText& profile, CheckResult& r) {
  const ProfileText::Section* main = MainSection(profile);
  for (const ProfileText::Section& s : profile.Sections()) {
    if (&s == main || s.entries.empty()) continue;
    if (s.line == 0) {
      Add(r, Severity::note, "outside-main", s.entries.front().line, "",
          "lines before the first section header are not read: settings go under [main]");
    } else if (EqualsNoCase(s.name, "main")) {
      Add(r, Severity::note, "outside-main", s.line, "",
          "a second [main] section is not read: only the first one (line " +
              std::to_string(main->line) + ") counts");
    } else {
      Add(r, Severity::note, "outside-main", s.line, "",
          "section [" + Shown(s.name) + "] is not read: the panel reads only [main]");
    }
  }
}

std::string LowerCase(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

// Length of the value the lookup returns before it cuts it (quotes removed).
size_t ValueLength(const std::string& v) {
  bool quoted = v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front();
  return quoted ? v.size() - 2 : v.size();
}

void NoteEntries(const ProfileText::Section& main, CheckResult& r) {
  // the first entry of every key name, lower case
  std::unordered_map<std::string, const ProfileText::Entry*> firstEntry;
  for (const ProfileText::Entry& e : main.entries) {
    auto [seen, isFirst] = firstEntry.emplace(LowerCase(e.name), &e);
    if (!e.hasValue) {
      Add(r, Severity::note, "no-equals", e.line, e.name,
          "'" + Shown(e.name) + "' has no '=': the panel sees no setting on this line");
      continue;
    }
    if (!isFirst && IsKnownSettingKey(e.name)) {
      const ProfileText::Entry& first = *seen->second;
      std::string message = Shown(e.name) + " is set again: the panel reads only its first line (" +
                            std::to_string(first.line) + ")";
      if (!first.hasValue)
        message += ", which has no '=', so " + Shown(e.name) + " keeps its default";
      Add(r, Severity::note, "repeated-key", e.line, e.name, message);
    }
    if (ValueLength(e.value) > kMaxValueChars) {
      Add(r, Severity::note, "value-cut", e.line, e.name,
          Shown(e.name) + ": the value has " + std::to_string(ValueLength(e.value)) +
              " characters; the panel reads only the first " + std::to_string(kMaxValueChars));
    }
  }
}

}  // namespace

std::string Shown(std::string_view text) {
  std::string shown;
  for (char c : text.substr(0, kShownChars)) {
    unsigned char u = static_cast<unsigned char>(c);
    shown += (u < 32 || u == 127) ? '?' : c;  // keep control bytes off the terminal
  }
  if (text.size() > kShownChars) shown += "...";
  return shown;
}

void Add(CheckResult& r, Severity severity, std::string kind, int line, std::string key,
         std::string message) {
  r.diagnostics.push_back(
      Diagnostic{severity, std::move(kind), line, Shown(key), std::move(message)});
}

int LineOf(const ProfileText& profile, std::string_view key) {
  // the entry the panel's lookup finds; a first line without "=" hides later ones
  const ProfileText::Entry* e = profile.FindEntry("main", key);
  return e != nullptr && e->hasValue ? e->line : 0;
}

void CheckFileLayout(const ProfileText& profile, CheckResult& r) {
  if (!r.found) {
    // A file that is there but cannot be read is named on the panel's stderr.
    bool missing = r.unreadable == SettingsFileCause(SettingsFileText{});
    Add(r, Severity::note, "no-file", 0, "",
        "cannot read the file (" + r.unreadable + "): the panel would start all the same" +
            (missing ? "" : ", say why on its standard error,") +
            " and run on the defaults shown here");
    return;
  }
  const ProfileText::Section* main = MainSection(profile);
  if (main == nullptr) {
    Add(r, Severity::note, "no-main-section", 0, "",
        "there is no section [main]: the panel runs on the defaults shown here");
  } else {
    NoteEntries(*main, r);
  }
  NoteOtherSections(profile, r);
}

void CheckUnknownKeys(const ProfileText& profile, CheckResult& r) {
  const ProfileText::Section* main = MainSection(profile);
  if (main == nullptr) return;
  for (const ProfileText::Entry& e : main->entries) {
    if (!e.hasValue || IsKnownSettingKey(e.name) || LooksLikeCurveSetKey(e.name)) continue;
    if (e.name.empty()) {
      Add(r, Severity::warning, "unknown-key", e.line, "",
          "a value without a key name: the panel ignores the line");
      continue;
    }
    std::string suggestion = SuggestKey(e.name);
    std::string message = Shown(e.name) + ": ";
    message += suggestion.empty() ? "not a key the panel knows; it ignores the line"
                                  : "did you mean " + suggestion +
                                        "? The panel does not know this key and ignores the line";
    Add(r, Severity::warning, "unknown-key", e.line, e.name, message);
  }
}

void CheckStartValues(const ProfileText& profile, CheckResult& r) {
  if (r.loadError) return;  // the load ends before these are read
  struct IntKey {
    const char* key;
    int32_t def;
    const char* meaning;
  };
  const IntKey keys[] = {{"WindowX", -1, "-1, the default placement"},
                         {"WindowY", -1, "-1, the default placement"},
                         {"starttrim", 0, "0"},
                         {"startflaps", 0, "0"}};
  for (const IntKey& k : keys) {
    int line = LineOf(profile, k.key);
    if (line == 0) continue;
    std::string text = ReadTextFrom(profile, "main", k.key, "");
    if (!text.empty() && ParseSettingsInt(text)) continue;
    Add(r, Severity::note, "not-an-integer", line, k.key,
        std::string(k.key) + " = '" + Shown(text) + "' is not a whole number: the panel uses " +
            k.meaning);
  }
  int32_t flaps = r.settings.startFlaps;
  if (flaps < 0 || flaps > 3) {
    Add(r, Severity::warning, "startflaps-range", LineOf(profile, "startflaps"), "startflaps",
        "startflaps is " + std::to_string(flaps) +
            ", outside 0..3: the power action sets flap position " +
            std::to_string(flaps < 0 ? 0 : 3) + " (" + FlapName(flaps) + ") instead");
  }
}

}  // namespace zq::check

// The file as a whole: sections, repeated and unknown keys, start values.
#include <algorithm>
#include <unordered_map>

#include "config/ascii.h"
#include "config/integer_syntax.h"
#include "config/settings_load.h"
#include "config/settings_snapshot.h"
#include "control/control_state.h"
#include "input/stick_identity.h"
#include "zq_check/check_steps.h"
#include "zq_check/key_suggest.h"

namespace zq::check {
namespace {

constexpr size_t kShownChars = 60;

const ProfileText::Section* MainSection(const ProfileText& profile) {
  return profile.FindSection("main");
}

std::string FlapName(int32_t position) {
  return std::string(
      kFlapTable[static_cast<size_t>(position < 0 ? 0 : (position > 3 ? 3 : position))].meaning);
}

void NoteOtherSections(const ProfileText& profile, CheckResult& r) {
  const ProfileText::Section* main = MainSection(profile);
  for (const ProfileText::Section& s : profile.Sections()) {
    if (&s == main || s.entries.empty()) continue;
    // the pins: read when it is the first section of its name
    if (&s == profile.FindSection(kSticksSection)) continue;
    if (s.line == 0) {
      Add(r, Severity::note, "outside-main", s.entries.front().line, "",
          "lines before the first section header are not read: settings go under [main]");
    } else if (EqualsNoCase(s.name, "main")) {
      Add(r, Severity::note, "outside-main", s.line, "",
          "a second [main] section is not read: only the first one (line " +
              std::to_string(main->line) + ") counts");
    } else {
      Add(r, Severity::note, "outside-main", s.line, "",
          "section [" + Shown(s.name) + "] is not read: the panel reads only [main] and [sticks]");
    }
  }
}

// Length of the value the lookup returns before it cuts it (quotes removed).
size_t ValueLength(std::string_view v) {
  bool quoted = v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front();
  return quoted ? v.size() - 2 : v.size();
}

// "PowerPlus=-1 107 ; numpad +": only a line that starts with ';' is a
// comment, so the panel reads the words after the value as part of it.
void NoteCommentInValue(const ProfileText::Entry& e, CheckResult& r) {
  std::string_view v = e.value;
  if (ValueLength(v) != v.size()) return;  // quoted whole: the ';' is meant
  for (size_t at = v.find(';'); at != std::string_view::npos; at = v.find(';', at + 1)) {
    if (at == 0 || (v[at - 1] != ' ' && v[at - 1] != '\t')) continue;
    Add(r, Severity::warning, "comment-after-value", e.line, e.name,
        Shown(e.name) + " = '" + Shown(v) + "': a comment must stand on its own line; here '" +
            Shown(v.substr(at)) + "' is part of the value");
    return;
  }
}

void NoteEntries(const ProfileText::Section& main, CheckResult& r) {
  // the first entry of every key name, lower case
  std::unordered_map<std::string, const ProfileText::Entry*> firstEntry;
  for (const ProfileText::Entry& e : main.entries) {
    auto [seen, isFirst] = firstEntry.emplace(AsciiLower(e.name), &e);
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
    NoteCommentInValue(e, r);
    if (ValueLength(e.value) > kMaxValueChars) {
      Add(r, Severity::note, "value-cut", e.line, e.name,
          Shown(e.name) + ": the value has " + std::to_string(ValueLength(e.value)) +
              " characters; the panel reads only the first " + std::to_string(kMaxValueChars));
    }
  }
}

// UTF-16 text without a byte-order mark: in the ASCII range every other
// byte is 0, which no settings file a text editor writes as ANSI has.
bool LooksLikeUtf16(std::string_view text) {
  if (text.size() < 4) return false;
  if ((text[0] == '\xff' && text[1] == '\xfe') || (text[0] == '\xfe' && text[1] == '\xff')) {
    return false;  // marked: read as such where the system can
  }
  size_t n = std::min<size_t>(text.size() & ~size_t{1}, 512);
  size_t zeroEven = 0, zeroOdd = 0;
  for (size_t i = 0; i < n; ++i) (i % 2 == 0 ? zeroEven : zeroOdd) += text[i] == '\0' ? 1 : 0;
  size_t half = n / 2;
  return (zeroOdd * 10 >= half * 8 && zeroEven * 10 < half) ||
         (zeroEven * 10 >= half * 8 && zeroOdd * 10 < half);
}

std::string PlainList(const std::vector<std::string>& names) {
  std::string list;
  for (size_t i = 0; i < names.size(); ++i) {
    list += (i == 0 ? "" : (i + 1 == names.size() ? " or " : ", ")) + Shown(names[i]);
  }
  return list;
}

}  // namespace

void ExplainMissingFile(CheckResult& r) {
  for (Diagnostic& d : r.diagnostics) {
    if (d.kind != "no-file") continue;
    if (r.options.named) {
      // a name typed on the command line that is not there is a mistake:
      // that is all there is to say, not the findings of defaults nobody asked about
      d.severity = Severity::error;
      d.message = "no such file";
    }
    if (!r.nearMisses.empty()) {
      d.message += "; did you mean " + PlainList(r.nearMisses) + ", beside it?";
    }
  }
  if (r.options.named) {
    std::erase_if(r.diagnostics, [](const Diagnostic& d) { return d.kind != "no-file"; });
  }
}

void CheckWindowPlace(const ProfileText& profile, CheckResult& r) {
  if (r.loadError) return;  // the window keeps its design place
  const ScreenSize screen = r.options.screen;
  const Placement p = PlaceWindow(r.settings.windowX, r.settings.windowY, screen);
  auto check = [&](const char* key, int32_t at, int32_t size, int32_t room, const char* axis) {
    if (at >= 0 && at + size <= room) return;
    Add(r, Severity::warning, "window-off-screen", LineOf(profile, key), key,
        std::string(key) + " = " + std::to_string(at) + ": on a screen of " +
            std::to_string(screen.width) + " x " + std::to_string(screen.height) + " the panel (" +
            std::to_string(p.width) + " x " + std::to_string(p.height) +
            " pixels) would not be fully visible; its " + axis + " edge must lie from 0 to " +
            std::to_string(room - size) +
            ", or -1 for the default place (zq-check --screen WxH "
            "checks another screen)");
  };
  check("WindowX", p.left, p.width, screen.width, "left");
  check("WindowY", p.top, p.height, screen.height, "top");
}

std::string Shown(std::string_view text) {
  return TerminalText(text, kShownChars);  // keep control bytes off the terminal
}

void Add(CheckResult& r, Severity severity, std::string kind, int line, std::string_view key,
         std::string message) {
  r.diagnostics.push_back(
      Diagnostic{severity, std::move(kind), line, Shown(key), std::move(message)});
}

int LineOf(const ProfileText& profile, std::string_view key) {
  // the entry the panel's lookup finds; a first line without "=" hides later ones
  const ProfileText::Entry* e = profile.FindEntry("main", key);
  return e != nullptr && e->hasValue ? e->line : 0;
}

void CheckFileLayout(const ProfileText& profile, const std::string& text, CheckResult& r) {
  if (!r.found) {
    Add(r, Severity::note, "no-file", 0, "",
        "cannot read the file (" + r.unreadable +
            "): the panel would start all the same and run on the defaults shown here");
    return;
  }
  if (LooksLikeUtf16(text)) {
    Add(r, Severity::warning, "utf-16", 0, "",
        "the file is UTF-16 text without a byte-order mark (every other byte is 0): the panel "
        "finds no setting in it and runs on the defaults shown here; save it as ANSI or UTF-8");
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
  for (const IntegerSetting& k : kIntegerSettings) {
    const std::string meaning =
        k.defaultValue == -1 ? "-1, the default placement" : std::to_string(k.defaultValue);
    int line = LineOf(profile, k.key);
    if (line == 0) continue;
    std::string text = ReadTextFrom(profile, "main", k.key, "");
    if (!text.empty() && ParseSettingsInt(text)) continue;
    Add(r, Severity::note, "not-an-integer", line, k.key,
        std::string(k.key) + " = '" + Shown(text) + "' is not a whole number: the panel uses " +
            meaning);
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

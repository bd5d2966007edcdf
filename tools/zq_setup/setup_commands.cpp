#include "zq_setup/setup_commands.h"

#include <optional>
#include <set>
#include <tuple>

#include "app/version.h"
#include "config/ascii.h"
#include "input/stick_identity.h"
#include "zq_check/check_model.h"
#include "zq_check/text_report.h"

namespace zq::setup {

const std::string_view kUsage =
    "usage: zq-setup [--setup PATH] [--section NAME] [--force] [COMMAND] [ARGS...]\n"
    "                [--help] [--version]\n"
    "Reads and edits Setup.ini the way the panel reads it, keeping every other\n"
    "byte of the file: comments, other sections, line ends, encoding.\n"
    "\n"
    "  get KEY...          print each key's value as the panel reads it\n"
    "  set KEY=VALUE...    set the keys, all or none, and show the changed lines\n"
    "                      and what zq-check then finds new; without a file, a\n"
    "                      new Setup.ini starts from the example\n"
    "  unset KEY...        remove the keys (the panel then uses its defaults)\n"
    "  check               the findings of zq-check\n"
    "                      KEY may be sticks.N: the pin of joystick N in [sticks],\n"
    "                      e.g. set 'sticks.0=044f:b10a \"Flight Stick\" serial=0A1B2C'\n"
    "  ui [--port N] [--no-browser]\n"
    "                      the configurator in the browser (the default command):\n"
    "                      bind by pressing, shape curves with the stick, save\n"
    "\n"
    "  --setup PATH    the settings file (default: Setup.ini in the current folder)\n"
    "  --section NAME  the section (default: main, the one the panel reads)\n"
    "  --force         set a value even where zq-check would call it an error\n"
    "  --help, --version\n"
    "Options stand before or after the command, as '--opt value' or '--opt=value';\n"
    "after '--' every argument is a key or KEY=VALUE.\n"
    "\n"
    "Before writing, the old file is kept as PATH.bak; a file changed by someone\n"
    "else since it was read is not overwritten.\n"
    "Exit status: 0 done; 1 get: a key is not set; check: as zq-check (0, 1, 2);\n"
    "2 nothing was written (refused or failed) or bad usage.\n";

namespace {

using Command = int (*)(const SetupOptions&, const std::vector<std::string>&, SetupContext&);

// Everything printed that came from the file, the command line or the
// system: never a control byte on the player's terminal.
std::string Printable(std::string_view text) {
  return TerminalText(text);
}

// "sticks.0" names key 0 of [sticks]; any other key is the chosen section's.
std::pair<std::string, std::string> SectionAndKey(const SetupOptions& o, const std::string& key) {
  constexpr std::string_view prefix = "sticks.";
  if (key.size() > prefix.size() &&
      EqualsNoCase(std::string_view(key).substr(0, prefix.size()), prefix)) {
    return {std::string(kSticksSection), key.substr(prefix.size())};
  }
  return {o.section, key};
}

int NotDone(SetupContext& ctx, const std::string& why) {
  ctx.err << "zq-setup: " << Printable(why) << '\n';
  return kNotDoneStatus;
}

bool OpenOrSay(SettingsEditor& editor, SetupContext& ctx) {
  std::string problem = editor.Open();
  if (problem.empty()) return true;
  ctx.err << "zq-setup: " << Printable(problem) << '\n';
  return false;
}

int Get(const SetupOptions& o, const std::vector<std::string>& keys, SetupContext& ctx) {
  SettingsEditor editor(ctx.ops, o.path);
  if (!OpenOrSay(editor, ctx)) return kNotDoneStatus;
  int status = 0;
  for (const std::string& name : keys) {
    const auto [section, key] = SectionAndKey(o, name);
    const ProfileText::Entry* e = editor.Document().Profile().FindEntry(section, key);
    if (e == nullptr || !e->hasValue) {
      ctx.err << "zq-setup: " << Printable(key) << " is not set in [" << Printable(section)
              << "] of '" << Printable(o.path) << "'" << (editor.Exists() ? "" : " (no such file)")
              << ": the panel uses its default\n";
      status = 1;
    }
    ctx.out << Printable(editor.Document().Read(section, key, "")) << '\n';
  }
  return status;
}

// A finding of zq-check by what it says rather than its line; one found
// past a load error is the same finding once that error is fixed.
using FindingKey = std::tuple<check::Severity, std::string, std::string, std::string>;
FindingKey KeyOf(const check::Diagnostic& d) {
  return {d.severity, d.kind, d.key, std::string(check::WithoutPremise(d))};
}
std::set<FindingKey> Findings(const check::CheckResult& r) {
  std::set<FindingKey> out;
  for (const check::Diagnostic& d : r.diagnostics) out.insert(KeyOf(d));
  return out;
}

void WriteFinding(const std::string& path, const check::Diagnostic& d, std::ostream& out) {
  out << Printable(path);
  if (d.line != 0) out << ':' << d.line;
  out << ": " << check::SeverityName(d.severity) << ": " << Printable(d.message) << '\n';
}

// Writes the edited text unless it brings a new error (--force writes it all
// the same), then tells the new warnings as `check` would: an edit the panel
// reads otherwise than meant is said at once, not at the next check.
int Save(const SetupOptions& o, SettingsEditor& editor, const std::string& before,
         const std::vector<LineChange>& changes, SetupContext& ctx) {
  const std::string& after = editor.Document().Bytes();
  if (after == before && editor.Exists()) {
    ctx.err << "zq-setup: '" << Printable(o.path) << "' already reads so: nothing to write\n";
    return 0;
  }
  const std::set<FindingKey> known = Findings(check::CheckSettingsText(o.path, before));
  std::vector<check::Diagnostic> fresh;
  for (check::Diagnostic& d : check::CheckSettingsText(o.path, after).diagnostics) {
    if (d.severity == check::Severity::note) continue;
    if (known.count(KeyOf(d)) == 0) fresh.push_back(std::move(d));
  }
  if (!o.force) {
    bool refused = false;
    for (const check::Diagnostic& d : fresh) {
      if (d.severity != check::Severity::error) continue;
      WriteFinding(o.path, d, ctx.err);
      refused = true;
    }
    if (refused)
      return NotDone(ctx,
                     "zq-check would call this an error (--force writes it all the same); nothing "
                     "was written");
  }
  std::string problem = editor.Save();
  if (!problem.empty()) return NotDone(ctx, problem);
  WriteChanges(o.path, changes, ctx.out);
  for (const check::Diagnostic& d : fresh) WriteFinding(o.path, d, ctx.err);
  return 0;
}

int Set(const SetupOptions& o, const std::vector<std::string>& edits, SetupContext& ctx) {
  for (const std::string& edit : edits) {
    if (edit.find('=') == std::string::npos)
      return UsageError(ctx, "'" + Printable(edit) + "' is not KEY=VALUE");
  }
  SettingsEditor editor(ctx.ops, o.path);
  if (!OpenOrSay(editor, ctx)) return kNotDoneStatus;
  if (!editor.Exists()) {
    std::string text;
    for (char c : ctx.exampleText) {
      if (c == '\n') {
        text += ctx.newFileLineEnd;
      } else {
        text += c;
      }
    }
    editor.StartNew(text);
    ctx.err << "zq-setup: no '" << Printable(o.path)
            << "': a new one starts from the example layout\n";
  }
  const std::string before = editor.Document().Bytes();
  std::vector<LineChange> changes;
  for (const std::string& edit : edits) {
    const size_t eq = edit.find('=');
    const auto [section, key] = SectionAndKey(o, edit.substr(0, eq));
    EditResult r = editor.Document().Set(section, key, edit.substr(eq + 1));
    if (!r.ok()) {
      return NotDone(ctx, Printable(edit.substr(0, eq)) + ": " + r.error + "; nothing was written");
    }
    changes.insert(changes.end(), r.changes.begin(), r.changes.end());
  }
  return Save(o, editor, before, changes, ctx);
}

int Unset(const SetupOptions& o, const std::vector<std::string>& keys, SetupContext& ctx) {
  SettingsEditor editor(ctx.ops, o.path);
  if (!OpenOrSay(editor, ctx)) return kNotDoneStatus;
  if (!editor.Exists()) {
    ctx.err << "zq-setup: no '" << Printable(o.path) << "': nothing to remove\n";
    return 0;
  }
  const std::string before = editor.Document().Bytes();
  std::vector<LineChange> changes;
  for (const std::string& name : keys) {
    const auto [section, key] = SectionAndKey(o, name);
    EditResult r = editor.Document().Unset(section, key);
    if (!r.ok()) return NotDone(ctx, Printable(key) + ": " + r.error + "; nothing was written");
    changes.insert(changes.end(), r.changes.begin(), r.changes.end());
  }
  return Save(o, editor, before, changes, ctx);
}

int Check(const SetupOptions& o, const std::vector<std::string>& args, SetupContext& ctx) {
  if (!args.empty()) {
    return UsageError(ctx, "check takes no arguments (--setup names the file)");
  }
  SettingsEditor editor(ctx.ops, o.path);
  std::string problem = editor.Open();
  std::string unreadable = !problem.empty() ? problem : editor.Exists() ? "" : "no such file";
  check::CheckResult r = check::CheckSettingsText(o.path, editor.Document().Bytes(), unreadable);
  check::WriteFindings(r, ctx.out);
  return r.ExitStatus();
}

int Ui(const SetupOptions& o, const std::vector<std::string>& args, SetupContext& ctx) {
  if (!ctx.runUi) {
    ctx.err << "zq-setup: this build has no configurator page\n";
    return kNotDoneStatus;
  }
  return ctx.runUi(o, args, ctx);
}

struct CommandEntry {
  std::string_view name;
  Command run;
  bool needsArgs;
};
const CommandEntry kCommands[] = {
    {"get", Get, true},      {"set", Set, true}, {"unset", Unset, true},
    {"check", Check, false}, {"ui", Ui, false},
};

}  // namespace

void WriteChanges(const std::string& path, const std::vector<LineChange>& changes,
                  std::ostream& out) {
  if (changes.empty()) return;
  out << "--- " << Printable(path) << "\n+++ " << Printable(path) << '\n';
  for (const LineChange& c : changes) {
    if (c.added) {
      out << "@@ new line " << c.newLine << " @@\n+" << Printable(c.after) << '\n';
    } else if (c.removed) {
      out << "@@ line " << c.oldLine << " @@\n-" << Printable(c.before) << '\n';
    } else {
      out << "@@ line " << c.oldLine << " @@\n-" << Printable(c.before) << "\n+"
          << Printable(c.after) << '\n';
    }
  }
}

int UsageError(SetupContext& ctx, std::string_view problem) {
  ctx.err << "zq-setup: " << problem << "; try 'zq-setup --help'\n";
  return kUsageStatus;
}

namespace {

// The configurator's own options, handed to `ui` as "--name [value]".
struct UiOption {
  std::string_view name;
  bool takesValue;
};
constexpr UiOption kUiOptions[] = {
    {"--port", true}, {"--no-browser", false}, {"--idle-seconds", true}};

const UiOption* FindUiOption(std::string_view name) {
  for (const UiOption& u : kUiOptions) {
    if (u.name == name) return &u;
  }
  return nullptr;
}

}  // namespace

int RunSetup(const std::vector<std::string>& args, SetupContext& ctx) {
  SetupOptions o;
  std::vector<std::string> words;   // the command and its arguments
  std::vector<std::string> uiArgs;  // the configurator's options, in their order
  bool ended = false;               // after "--": keys and edits only
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (!ended && a == "--") {
      ended = true;
      continue;
    }
    if (ended || a.size() < 2 || a[0] != '-') {
      words.push_back(a);
      continue;
    }
    std::string name = a;
    std::optional<std::string> inlineValue;
    if (size_t eq = a.find('='); a.starts_with("--") && eq != std::string::npos) {
      name = a.substr(0, eq);
      inlineValue = a.substr(eq + 1);
    }
    const UiOption* ui = FindUiOption(name);
    const bool takesValue = name == "--setup" || name == "--section" || (ui && ui->takesValue);
    if (!takesValue && inlineValue) {
      return UsageError(ctx, "'" + Printable(a) + "': " + Printable(name) + " takes no value");
    }
    std::string value;
    if (takesValue) {
      if (inlineValue) {
        value = *inlineValue;
      } else if (i + 1 < args.size()) {
        value = args[++i];
      } else {
        return UsageError(ctx, name + " needs a value");
      }
    }
    if (name == "--help" || name == "-h") {
      ctx.out << kUsage;
      return 0;
    } else if (name == "--version") {
      ctx.out << "zq-setup " << kVersion << '\n';
      return 0;
    } else if (name == "--force") {
      o.force = true;
    } else if (name == "--setup") {
      if (value.empty()) return UsageError(ctx, "--setup needs a file name");
      o.path = value;
    } else if (name == "--section") {
      o.section = value;
    } else if (ui) {
      uiArgs.push_back(name);
      if (takesValue) uiArgs.push_back(value);
    } else {
      return UsageError(ctx, "unknown option '" + Printable(a) + "'");
    }
  }
  if (std::string problem = SectionProblem(o.section); !problem.empty())
    return UsageError(ctx, "--section: " + Printable(problem));
  const std::string name = words.empty() ? "ui" : words.front();
  std::vector<std::string> rest;
  if (!words.empty()) rest.assign(words.begin() + 1, words.end());
  for (const CommandEntry& c : kCommands) {
    if (c.name != name) continue;
    if (name != "ui" && !uiArgs.empty())
      return UsageError(ctx, uiArgs.front() + " belongs to the ui command, not to " + name);
    if (c.needsArgs && rest.empty()) return UsageError(ctx, name + " needs at least one key");
    if (name == "ui") {
      if (!rest.empty()) return UsageError(ctx, "ui takes no '" + Printable(rest.front()) + "'");
      return c.run(o, uiArgs, ctx);
    }
    return c.run(o, rest, ctx);
  }
  return UsageError(ctx, "unknown command '" + Printable(name) + "'");
}

}  // namespace zq::setup

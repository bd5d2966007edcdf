// What zq-check found in a settings file: the load as the panel does it,
// where every value came from, and what deserves a player's attention.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/placement.h"
#include "config/binding.h"
#include "config/curve_bank.h"
#include "config/settings_load.h"

namespace zq::check {

enum class Severity { note, warning, error };

// One finding. `line` is 0 when no line of the file is involved (defaults,
// a missing file).
struct Diagnostic {
  Severity severity = Severity::warning;
  std::string kind;  // stable name, e.g. "unknown-key"
  int line = 0;
  std::string key;
  std::string message;
};

// A finding on what the panel never reads, as the load stops before it,
// starts with the condition it was found under: "Had line 4 been valid: ".
// That condition ("" for any other finding), and the finding without it.
std::string_view PremiseOf(const Diagnostic& d);
std::string_view WithoutPremise(const Diagnostic& d);

enum class ValueSource {
  file,      // the key's value in section "main"
  empty,     // the key is there with an empty value: the slot keeps its record
  fallback,  // the key is missing: the slot's default text
  failed,    // this slot's value ended the load
  unloaded,  // the load ended before this slot
};

struct SlotReport {
  ValueSource source = ValueSource::fallback;
  int line = 0;
  std::string text;   // the binding text that was parsed ("" when none)
  std::string words;  // the binding in words
};

enum class CurveSource {
  file,      // its own key
  fallback,  // "0 100", the key being missing
  copy,      // a copy of set 0 (X1..X9, Z1..Z9 missing)
  gap,       // Y of a selectable set whose key is missing: all 0
  unloaded,  // the load ended before the curves
};

struct CurveReport {
  std::string key;  // the key it is read from ("Y2", "TrimX")
  CurveSource source = CurveSource::fallback;
  int line = 0;
  Curve curve{};
  std::array<int32_t, kCurvePoints> outputs{};  // output at 0, 10 .. 100 % deflection
};

struct CurveSetReport {
  CurveReport y, x, z;
};

// How zq-check was asked to check.
struct CheckOptions {
  // The file was named on the command line: when it is not there that is an
  // error (a mistyped name), not the panel's quiet fallback to the defaults.
  bool named = false;
  ScreenSize screen{1920, 1080};  // the primary screen the panel is placed on
};

struct CheckResult {
  std::string path;
  CheckOptions options;
  bool found = false;                   // the file could be read
  std::string unreadable;               // why it could not: "no such file", "a directory"...
  std::vector<std::string> nearMisses;  // files beside a missing one that were likely meant
  bool hasMain = false;                 // it has a section "main"
  LoadedSettings settings{};
  CurveBank bank{};
  std::optional<BindingLoadError> loadError;
  std::array<SlotReport, kSlotCount> slots{};
  std::vector<CurveSetReport> curveSets;    // curveCount entries
  std::array<CurveReport, 3> trimCurves{};  // TrimY, TrimX, TrimZ
  std::vector<Diagnostic> diagnostics;      // in line order, file-wide ones first

  int Count(Severity s) const;
  // 0 clean (notes allowed), 1 warnings, 2 errors: the panel would show an
  // error box, or a file named on the command line does not exist.
  int ExitStatus() const;
};

// Loads `path` exactly as the panel loads ".\Setup.ini" and explains it.
CheckResult CheckSettingsFile(const std::string& path, const CheckOptions& options = {});
// The same on a text already in memory (`path` only names it). A non-empty
// `unreadable` says why there is no file to read; the panel then runs on
// the defaults.
CheckResult CheckSettingsText(const std::string& path, const std::string& text,
                              const std::string& unreadable = "", const CheckOptions& options = {});

}  // namespace zq::check

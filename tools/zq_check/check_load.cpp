#include <algorithm>
#include <filesystem>
#include <set>
#include <tuple>

#include "config/settings_near_miss.h"
#include "config/settings_snapshot.h"
#include "control/curve_math.h"
#include "zq_check/binding_words.h"
#include "zq_check/check_model.h"
#include "zq_check/check_steps.h"

namespace zq::check {
namespace {

constexpr std::string_view kStraight = "0 100";
constexpr std::string_view kPremiseStart = "Had line";
constexpr std::string_view kPremiseEnd = " been valid";

void FillSlots(const ProfileText& profile, CheckResult& r) {
  int failedSlot = r.loadError ? r.loadError->slot : kSlotCount;
  for (int s = 0; s < kSlotCount; ++s) {
    const SlotInfo& info = kSlotTable[static_cast<size_t>(s)];
    SlotReport& slot = r.slots[static_cast<size_t>(s)];
    slot.line = LineOf(profile, info.key);
    if (s > failedSlot) {
      slot.source = ValueSource::unloaded;
    } else {
      slot.text = ReadTextFrom(profile, "main", info.key, info.defaultText);
      if (s == failedSlot) {
        slot.source = ValueSource::failed;
      } else if (slot.line == 0) {
        slot.source = ValueSource::fallback;
      } else {
        slot.source = StripControls(slot.text).empty() ? ValueSource::empty : ValueSource::file;
      }
    }
    slot.words = DescribeBinding(r.settings.bindings[static_cast<size_t>(s)], info.test,
                                 r.settings.joyUsed, LayoutCharOf(slot.text), !r.loadError);
  }
}

CurveReport MakeCurve(const ProfileText& profile, std::string key, CurveSource source,
                      const Curve& curve) {
  CurveReport c;
  c.line = LineOf(profile, key);
  c.key = std::move(key);
  c.source = source;
  c.curve = curve;
  for (int k = 0; k < kCurvePoints; ++k) {
    c.outputs[static_cast<size_t>(k)] = EvaluateCurve(100 * k, curve);
  }
  return c;
}

// Where each curve of a completed load came from, in the load's terms.
void FillCurves(const ProfileText& profile, CheckResult& r) {
  const CurveBank& bank = r.bank;
  auto fromKey = [&](const std::string& key, CurveSource missing) {
    return HasKeyIn(profile, "main", key) ? CurveSource::file : missing;
  };
  for (int k = 0; k < bank.curveCount && k < kCurveSets; ++k) {
    size_t i = static_cast<size_t>(k);
    CurveSetReport set;
    CurveSource yMissing = k == 0 ? CurveSource::fallback : CurveSource::gap;
    CurveSource xzMissing = k == 0 ? CurveSource::fallback : CurveSource::copy;
    std::string y = CurveKey('Y', k), x = CurveKey('X', k), z = CurveKey('Z', k);
    set.y = MakeCurve(profile, y, fromKey(y, yMissing), bank.curvesY[i]);
    set.x = MakeCurve(profile, x, fromKey(x, xzMissing), bank.curvesX[i]);
    set.z = MakeCurve(profile, z, fromKey(z, xzMissing), bank.curvesZ[i]);
    r.curveSets.push_back(std::move(set));
  }
  r.trimCurves[0] =
      MakeCurve(profile, "TrimY", fromKey("TrimY", CurveSource::fallback), bank.curveTrimY);
  r.trimCurves[1] =
      MakeCurve(profile, "TrimX", fromKey("TrimX", CurveSource::fallback), bank.curveTrimX);
  r.trimCurves[2] =
      MakeCurve(profile, "TrimZ", fromKey("TrimZ", CurveSource::fallback), bank.curveTrimZ);
}

// The file as the panel would read it had the bindings of `slots` been
// valid: each reads "-1 0", bound to no input, so that nothing is said of it.
class AssumedValid : public SettingsLookup {
 public:
  AssumedValid(const SettingsLookup& file, const std::vector<int>& slots)
      : file_(file), slots_(slots) {}
  std::string ReadText(std::string_view section, std::string_view key,
                       std::string_view def) const override {
    return Assumed(section, key) ? std::string(kNoInput) : file_.ReadText(section, key, def);
  }
  bool HasKey(std::string_view section, std::string_view key) const override {
    return Assumed(section, key) || file_.HasKey(section, key);
  }

 private:
  static constexpr std::string_view kNoInput = "-1 0";
  bool Assumed(std::string_view section, std::string_view key) const {
    if (!EqualsNoCase(section, "main")) return false;
    return std::any_of(slots_.begin(), slots_.end(), [&](int s) {
      return EqualsNoCase(key, kSlotTable[static_cast<size_t>(s)].key);
    });
  }
  const SettingsLookup& file_;
  const std::vector<int>& slots_;
};

void MarkTrimCurvesUnloaded(const ProfileText& profile, CheckResult& r) {
  const char* keys[] = {"TrimY", "TrimX", "TrimZ"};
  for (size_t i = 0; i < 3; ++i) {
    r.trimCurves[i] = MakeCurve(profile, keys[i], CurveSource::unloaded, Curve{});
  }
}

}  // namespace

std::string_view PremiseOf(const Diagnostic& d) {
  std::string_view m = d.message;
  if (!m.starts_with(kPremiseStart)) return {};
  const size_t end = m.find(std::string(kPremiseEnd) + ": ");
  return end == std::string_view::npos ? std::string_view{} : m.substr(0, end + kPremiseEnd.size());
}

std::string_view WithoutPremise(const Diagnostic& d) {
  const size_t premise = PremiseOf(d).size();
  return std::string_view(d.message).substr(premise == 0 ? 0 : premise + 2);
}

int CheckResult::Count(Severity s) const {
  return static_cast<int>(std::count_if(diagnostics.begin(), diagnostics.end(),
                                        [s](const Diagnostic& d) { return d.severity == s; }));
}

int CheckResult::ExitStatus() const {
  if (Count(Severity::error) > 0) return 2;
  return Count(Severity::warning) > 0 ? 1 : 0;
}

namespace {

CheckResult CheckOnce(const std::string& path, const std::string& text,
                      const std::string& unreadable, const CheckOptions& options,
                      const std::vector<int>& assumedValid) {
  CheckResult r;
  r.path = path;
  r.options = options;
  r.found = unreadable.empty();
  r.unreadable = unreadable;
  // One reading of the file serves every lookup, as in the Linux panel (the
  // Windows panel reads it anew for each key: the same values as long as
  // nobody edits it meanwhile).
  ProfileTextSettings settings(text);
  const ProfileText& profile = settings.Profile();
  r.hasMain = profile.FindSection("main") != nullptr;
  NoKeyCharMap keyMap;
  r.loadError = LoadSettings(AssumedValid(settings, assumedValid), keyMap, r.settings, r.bank);

  FillSlots(profile, r);
  if (r.loadError) {
    MarkTrimCurvesUnloaded(profile, r);
  } else {
    FillCurves(profile, r);
  }
  CheckFileLayout(profile, text, r);
  CheckUnknownKeys(profile, r);
  CheckBindings(profile, r);
  CheckSticks(profile, r);
  CheckCurves(profile, r);
  CheckStartValues(profile, r);
  CheckWindowPlace(profile, r);
  return r;
}

// "Had line 4 been valid", "Had lines 4 and 9 been valid".
std::string Premise(const CheckResult& r, const std::vector<int>& slots) {
  std::string lines;
  for (size_t i = 0; i < slots.size(); ++i) {
    if (i != 0) lines += i + 1 == slots.size() ? " and " : ", ";
    lines += std::to_string(r.slots[static_cast<size_t>(slots[i])].line);
  }
  return std::string(kPremiseStart) + (slots.size() > 1 ? "s " : " ") + lines +
         std::string(kPremiseEnd);
}

// The panel stops at a load error and reads nothing after it; a player
// fixing the file wants every later finding at once. They are found by
// reading on as if each binding that stops the load were valid, and say so.
void ReadOnPastLoadErrors(CheckResult& r, const std::string& text) {
  using Key = std::tuple<Severity, std::string, std::string, std::string>;
  std::set<Key> known;
  for (const Diagnostic& d : r.diagnostics) known.emplace(d.severity, d.kind, d.key, d.message);
  auto add = [&](Diagnostic d, const std::string& premise) {
    if (!known.emplace(d.severity, d.kind, d.key, d.message).second) return;
    d.message = premise + ": " + d.message;
    r.diagnostics.push_back(std::move(d));
  };
  std::vector<int> assumed{r.loadError->slot};
  for (;;) {
    CheckResult on = CheckOnce(r.path, text, r.unreadable, r.options, assumed);
    const std::string premise = Premise(r, assumed);
    if (on.loadError) {  // a later binding stops the load as well
      for (Diagnostic& d : on.diagnostics) {
        if (d.kind == "load-error") add(std::move(d), premise);
      }
      assumed.push_back(on.loadError->slot);
      continue;
    }
    for (Diagnostic& d : on.diagnostics) {
      const bool aboutAssumed = std::any_of(assumed.begin(), assumed.end(), [&](int s) {
        return d.key == kSlotTable[static_cast<size_t>(s)].key;
      });
      if (!aboutAssumed) add(std::move(d), premise);
    }
    return;
  }
}

}  // namespace

CheckResult CheckSettingsText(const std::string& path, const std::string& text,
                              const std::string& unreadable, const CheckOptions& options) {
  CheckResult r = CheckOnce(path, text, unreadable, options, {});
  if (r.loadError) ReadOnPastLoadErrors(r, text);
  std::stable_sort(r.diagnostics.begin(), r.diagnostics.end(),
                   [](const Diagnostic& a, const Diagnostic& b) { return a.line < b.line; });
  return r;
}

CheckResult CheckSettingsFile(const std::string& path, const CheckOptions& options) {
  // The panel's own reading of the file, so that both name the same cause.
  SettingsFileText file = ReadSettingsFile(path);
  std::string problem = SettingsFileCause(file);
  CheckResult r = CheckSettingsText(path, file.text, problem, options);
  if (file.state == SettingsFileState::missing) {
    std::filesystem::path p(path);
    std::filesystem::path folder = p.has_parent_path() ? p.parent_path() : ".";
    r.nearMisses = NearMissSettingsFiles(folder, p.filename().string());
    if (r.nearMisses.empty() && !EqualsNoCase(p.filename().string(), "Setup.ini")) {
      r.nearMisses = NearMissSettingsFiles(folder, "Setup.ini");
      // a mistyped name ("Setpu.ini") beside the real one
      std::error_code ec;
      if (std::filesystem::is_regular_file(folder / "Setup.ini", ec)) {
        r.nearMisses.insert(r.nearMisses.begin(), "Setup.ini");
      }
    }
    ExplainMissingFile(r);
  }
  return r;
}

}  // namespace zq::check

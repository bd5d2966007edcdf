#include "zq_setup/ui/ui_api.h"

#include <nlohmann/json.hpp>
#include <vector>

#include "config/flight_axes.h"
#include "config/settings_load.h"
#include "control/control_state.h"
#include "control/curve_math.h"
#include "input/joyinfo.h"
#include "input/key_names.h"
#include "input/stick_identity.h"
#include "zq_check/binding_words.h"
#include "zq_check/check_model.h"
#include "zq_check/slot_words.h"
#include "zq_check/text_report.h"
#include "zq_setup/ui/curve_shape_api.h"

namespace zq::setup::ui {

namespace {

using nlohmann::json;

// The curve keys: Y, X, Z, their sets 1..9, and the three trim curves.
const std::vector<std::string>& CurveKeys() {
  static const std::vector<std::string> kKeys = [] {
    std::vector<std::string> keys{"Y", "X", "Z"};
    for (std::string_view key : kTrimCurveKeys) keys.emplace_back(key);
    for (const FlightAxis& axis : kFlightAxes) {
      for (int k = 1; k < kCurveSets; ++k) keys.push_back(CurveKey(axis.letter, k));
    }
    return keys;
  }();
  return kKeys;
}

// "sticks.N" names the pin of joystick N (0..15) in [sticks]; every other
// key the page writes is in [main].
std::optional<std::string> StickPinKey(std::string_view key) {
  constexpr std::string_view prefix = "sticks.";
  if (key.substr(0, prefix.size()) != prefix) return std::nullopt;
  std::string id(key.substr(prefix.size()));
  for (int n = 0; n < kJoystickCount; ++n) {
    if (id == std::to_string(n)) return id;
  }
  return std::nullopt;
}

// The keys the page may write: the 25 slots, the curves, the four values
// and the pins of [sticks].
bool EditableKey(std::string_view key) {
  if (StickPinKey(key)) return true;
  for (const SlotInfo& s : kSlotTable) {
    if (s.key == key) return true;
  }
  for (const std::string& k : CurveKeys()) {
    if (k == key) return true;
  }
  for (const IntegerSetting& s : kIntegerSettings) {
    if (s.key == key) return true;
  }
  return false;
}

const char* SourceName(check::ValueSource s) {
  switch (s) {
    case check::ValueSource::file:
      return "file";
    case check::ValueSource::empty:
      return "empty";
    case check::ValueSource::fallback:
      return "default";
    case check::ValueSource::failed:
      return "failed";
    case check::ValueSource::unloaded:
      return "unloaded";
  }
  return "";
}

// The input a slot's binding names ("F5", "joystick 1 button 4"), shown
// beside its text; "" where the load never read it.
std::string SlotName(const check::CheckResult& r, size_t s) {
  const check::SlotReport& rep = r.slots[s];
  if (rep.source == check::ValueSource::failed || rep.source == check::ValueSource::unloaded)
    return "";
  return check::BindingName(r.settings.bindings[s], kSlotTable[s].test,
                            check::LayoutCharOf(rep.text));
}

json CurveJson(const check::CurveReport& c) {
  json points = json::array();
  for (int k = 0; k < kCurvePoints; ++k) points.push_back(c.curve[k]);
  // an unloaded curve (the load ended before the curves) is none to edit
  return json{{"key", c.key},
              {"line", c.line},
              {"points", points},
              {"loaded", c.source != check::CurveSource::unloaded}};
}

// The edits of a request body applied to `doc`; "" or why one was refused
// (and then `doc` is as the file was).
std::string ApplyEdits(const json& body, SettingsDocument& doc,
                       std::vector<LineChange>* changes = nullptr) {
  if (!body.is_object() || !body.contains("edits")) return "";
  const json& edits = body["edits"];
  if (!edits.is_object()) return "edits must be an object";
  SettingsDocument next = doc;
  for (const auto& [key, value] : edits.items()) {
    if (!EditableKey(key)) return "'" + key + "' is not a setting the page edits";
    EditResult r;
    const std::optional<std::string> pin = StickPinKey(key);
    const std::string_view section = pin ? kSticksSection : std::string_view("main");
    const std::string_view name = pin ? std::string_view(*pin) : std::string_view(key);
    if (value.is_null()) {
      r = next.Unset(section, name);
    } else if (value.is_string()) {
      r = next.Set(section, name, value.get<std::string>());
    } else {
      return key + ": a value is text or null";
    }
    if (!r.ok()) return key + ": " + r.error;
    if (changes != nullptr) changes->insert(changes->end(), r.changes.begin(), r.changes.end());
  }
  doc = std::move(next);
  return "";
}

// Every answer goes out as JSON whatever bytes the file or its path hold:
// text that is not UTF-8 (an ANSI Setup.ini, a folder named in another code
// page) shows with replacement characters instead of failing the answer.
std::string Dump(const json& j) {
  return j.dump(-1, ' ', false, json::error_handler_t::replace);
}

bool ParseBody(const Request& req, json& body, Response& res) {
  body = json::parse(req.body(), nullptr, false);
  if (!body.is_discarded() && body.is_object()) return true;
  res.result(http::status::bad_request);
  res.body() = Dump(json{{"error", "the request is not a JSON object"}});
  return false;
}

json ChangesJson(const std::vector<LineChange>& changes) {
  json out = json::array();
  for (const LineChange& c : changes) {
    out.push_back({{"oldLine", c.oldLine},
                   {"newLine", c.newLine},
                   {"before", c.before},
                   {"after", c.after},
                   {"added", c.added},
                   {"removed", c.removed}});
  }
  return out;
}

// What the page shows of the panel's own tables: the slots in their groups
// with their words, the start values, the flight axes with their trims, the
// stick's axis letters, the keys a binding can name and the modifiers of a
// chord, and the words of the panel's Russian texts.
std::string FactsJson() {
  json slots = json::array();
  for (const check::SlotWords& w : check::kSlotWords) {
    const SlotInfo& info = kSlotTable[static_cast<size_t>(w.slot)];
    slots.push_back({{"key", info.key},
                     {"group", w.group},
                     {"name", w.name},
                     {"what", check::SlotWhat(w)},
                     {"axis", info.test == SlotTest::axis}});
  }
  json values = json::array();
  for (const IntegerSetting& s : kIntegerSettings) {
    values.push_back({{"key", s.key}, {"what", check::ValueWhat(s)}});
  }
  json axes = json::array();
  for (const FlightAxis& a : kFlightAxes) {
    axes.push_back({{"letter", std::string(1, a.letter)},
                    {"word", a.word},
                    {"slot", kSlotTable[static_cast<size_t>(a.axis)].key},
                    {"trimCurve", a.trimCurve},
                    {"trimSlot", kSlotTable[static_cast<size_t>(a.trimAxis)].key},
                    {"routing", kSlotTable[static_cast<size_t>(a.routing)].key}});
  }
  json stickAxes = json::array();
  for (char letter : kAxisLetters) stickAxes.push_back(std::string(1, letter));
  json keyChars = json::object();
  json keyNames = json::object();
  for (int32_t vk = 1; vk <= 255; ++vk) {
    if (char c = KeyTextChar(vk); c != 0) keyChars[std::to_string(vk)] = std::string(1, c);
    if (std::string name = VirtualKeyName(vk); !name.empty()) keyNames[std::to_string(vk)] = name;
  }
  json modifiers = json::array();
  for (const ModifierKey& m : kModifierKeys) {
    modifiers.push_back({{"text", m.bindingText}, {"name", m.name}, {"keys", m.keys}});
  }
  json labelWords = json::object();
  for (const FlapRow& row : kFlapTable)
    labelWords[std::string(StripControls(row.text))] = row.meaning;
  labelWords[std::string(kChatText)] = kChatMeaning;
  return json{{"slots", slots},
              {"values", values},
              {"axes", axes},
              {"curveSets", kCurveSets},
              {"joysticks", kJoystickCount},
              {"stickAxes", stickAxes},
              {"keyChars", keyChars},
              {"keyNames", keyNames},
              {"modifiers", modifiers},
              {"labelWords", labelWords},
              // This run of zq-setup: a page that finds another answering at
              // its address knows its own has stopped.
              {"run", NewToken()}}
      .dump();
}

}  // namespace

SettingsApi::SettingsApi(FileOps& ops, std::string path, std::string exampleText)
    : ops_(ops), path_(path), exampleText_(std::move(exampleText)), editor_(ops, std::move(path)) {}

std::string SettingsApi::Open() {
  openProblem_ = editor_.Open();
  if (openProblem_.empty() && !editor_.Exists()) editor_.StartNew(exampleText_);
  return openProblem_;
}

std::string SettingsApi::Switch(std::string path, SettingsEditor::Locator locate) {
  SettingsEditor probe(ops_, path);
  probe.Rebind(path, locate);
  if (std::string problem = probe.Open(); !problem.empty()) return problem;
  if (!probe.Exists()) return "cannot read '" + path + "': there is no such file";
  editor_.Rebind(path, std::move(locate));
  path_ = std::move(path);
  return Open();
}

void SettingsApi::State(const SettingsDocument& doc, Response& res, const std::string& editError) {
  const std::string& text = doc.Bytes();
  check::CheckResult r = check::CheckSettingsText(path_, text, openProblem_);
  json slots = json::array();
  for (size_t s = 0; s < kSlotTable.size(); ++s) {
    const check::SlotReport& rep = r.slots[s];
    slots.push_back({{"key", kSlotTable[s].key},
                     {"value", doc.Read("main", kSlotTable[s].key, "")},
                     {"set", doc.Has("main", kSlotTable[s].key)},
                     {"default", kSlotTable[s].defaultText},
                     {"axis", kSlotTable[s].test == SlotTest::axis},
                     {"text", rep.text},
                     {"words", rep.words},
                     {"name", SlotName(r, s)},
                     {"source", SourceName(rep.source)},
                     {"line", rep.line}});
  }
  json sets = json::array();
  for (const check::CurveSetReport& set : r.curveSets)
    sets.push_back({{"Y", CurveJson(set.y)}, {"X", CurveJson(set.x)}, {"Z", CurveJson(set.z)}});
  json trims = json::array();
  for (const check::CurveReport& c : r.trimCurves) trims.push_back(CurveJson(c));
  json findings = json::array();
  for (const check::Diagnostic& d : r.diagnostics) {
    findings.push_back({{"severity", check::SeverityName(d.severity)},
                        {"kind", d.kind},
                        {"line", d.line},
                        {"key", d.key},
                        {"message", d.message}});
  }
  json values = json::object();
  for (const IntegerSetting& s : kIntegerSettings) {
    values[std::string(s.key)] = {{"value", doc.Read("main", s.key, "")},
                                  {"set", doc.Has("main", s.key)}};
  }
  // Which of Y1..Y9 the file has (each adds a set), and the example's curve
  // texts for the presets.
  json setKeys = json::array();
  json examples = json::object();
  SettingsDocument example{exampleText_};
  for (const std::string& key : CurveKeys()) {
    if (key.size() == 2 && key[0] == 'Y' && doc.Has("main", key)) setKeys.push_back(key);
    if (example.Has("main", key)) examples[key] = example.Read("main", key, "");
  }
  json out{{"path", path_},
           {"canonical", CanonicalPath(path_)},
           {"setKeys", setKeys},
           {"examples", examples},
           {"exists", editor_.Exists()},
           {"unreadable", openProblem_},
           {"changedOnDisk", editor_.ChangedOnDisk()},
           {"slots", slots},
           {"curveSets", sets},
           {"trimCurves", trims},
           {"values", values},
           {"loaded",
            {{"windowX", r.settings.windowX},
             {"windowY", r.settings.windowY},
             {"startTrim", r.settings.startTrim},
             {"startFlaps", r.settings.startFlaps}}},
           {"findings", findings},
           {"status", r.ExitStatus()}};
  if (!editError.empty()) out["editError"] = editError;
  res.body() = Dump(out);
}

void SettingsApi::Curve(const std::string& bodyText, Response& res) {
  json body = json::parse(bodyText, nullptr, false);
  const json* points = body.is_object() && body.contains("points") ? &body["points"] : nullptr;
  zq::Curve curve{};
  bool ok = points != nullptr && points->is_array() && points->size() == kCurvePoints;
  for (int k = 0; ok && k < kCurvePoints; ++k) {
    const json& p = (*points)[static_cast<size_t>(k)];
    ok = p.is_number_integer() && p.get<int64_t>() >= INT32_MIN && p.get<int64_t>() <= INT32_MAX;
    if (ok) curve.slot[static_cast<size_t>(k)] = static_cast<int32_t>(p.get<int64_t>());
  }
  if (!ok) {
    res.result(http::status::bad_request);
    res.body() = Dump(json{{"error", "points: eleven whole numbers"}});
    return;
  }
  // A trim total, when given: the values the panel sends with that trim
  // routed into the axis.
  const json* trim = body.contains("trim") ? &body["trim"] : nullptr;
  if (trim != nullptr && !(trim->is_number_integer() && trim->get<int64_t>() >= -100000 &&
                           trim->get<int64_t>() <= 100000)) {
    res.result(http::status::bad_request);
    res.body() = Dump(json{{"error", "trim: a whole number"}});
    return;
  }
  // The panel's own evaluation for every reading -1000..1000.
  PointValues values = ComputePointValues(curve);
  json outputs = json::array();
  json mixed = json::array();
  for (int32_t reading = -1000; reading <= 1000; ++reading) {
    int32_t out = EvaluateCurve(reading, values);
    outputs.push_back(out);
    if (trim != nullptr) mixed.push_back(TrimMix(out, trim->get<int32_t>()));
  }
  json out{{"outputs", outputs}};
  if (trim != nullptr) out["mixed"] = mixed;
  res.body() = Dump(out);
}

void SettingsApi::Save(const std::string& bodyText, Response& res) {
  json body = json::parse(bodyText, nullptr, false);
  if (body.is_discarded() || !body.is_object()) {
    res.result(http::status::bad_request);
    res.body() = Dump(json{{"error", "the request is not a JSON object"}});
    return;
  }
  if (body.contains("keepMine") && !body["keepMine"].is_boolean()) {
    res.result(http::status::bad_request);
    res.body() = Dump(json{{"error", "keepMine: true or false"}});
    return;
  }
  bool keepMine = body.value("keepMine", false);
  if (keepMine) {
    // Their file is read again and the page's edits go on top of it.
    if (std::string problem = Open(); !problem.empty()) {
      res.result(http::status::conflict);
      res.body() = Dump(json{{"error", problem}});
      return;
    }
  } else if (std::string changed = editor_.ChangedOnDisk(); !changed.empty()) {
    res.result(http::status::conflict);
    res.body() = Dump(json{{"changedOnDisk", changed}});
    return;
  }
  SettingsDocument doc = editor_.Document();
  const std::string before = doc.Bytes();
  std::vector<LineChange> changes;
  if (std::string problem = ApplyEdits(body, doc, &changes); !problem.empty()) {
    res.result(http::status::unprocessable_entity);
    res.body() = Dump(json{{"error", problem}});
    return;
  }
  if (doc.Bytes() == before && editor_.Exists()) {
    res.body() =
        Dump(json{{"saved", false}, {"message", "Nothing to save: the file already reads so."}});
    return;
  }
  editor_.Document() = doc;
  if (std::string problem = editor_.Save(); !problem.empty()) {
    Open();  // the file as it is now: the page offers to reload it
    res.result(http::status::conflict);
    res.body() = Dump(json{{"error", problem}});
    return;
  }
  res.body() = Dump(json{{"saved", true},
                         {"changes", ChangesJson(changes)},
                         {"message",
                          "Saved. A running panel reads Setup.ini only when it starts: "
                          "restart it to use these settings."}});
}

std::optional<std::string> SettingsApi::EditedBytes(const std::string& bodyText,
                                                    std::string& problem) const {
  json body = json::parse(bodyText, nullptr, false);
  SettingsDocument doc = editor_.Document();
  problem = ApplyEdits(body, doc);
  bool edited = problem.empty() && body.is_object() && body.contains("edits") &&
                body["edits"].is_object() && !body["edits"].empty();
  if (!editor_.Exists() && !edited) return std::nullopt;
  return doc.Bytes();
}

bool SettingsApi::Answer(const Request& req, std::string_view path, std::string_view query,
                         Response& res) {
  bool get = req.method() == http::verb::get;
  if (get && path == "/api/facts") {
    static const std::string kFacts = FactsJson();
    res.body() = kFacts;
  } else if (get && path == "/api/state") {
    if (query == "reload=1") Open();
    State(editor_.Document(), res);
  } else if (!get && path == "/api/check") {
    json body;
    if (!ParseBody(req, body, res)) return true;
    SettingsDocument doc = editor_.Document();
    std::string problem = ApplyEdits(body, doc);
    State(doc, res, problem);
  } else if (!get && path == "/api/curve") {
    Curve(req.body(), res);
  } else if (!get && path == "/api/save") {
    Save(req.body(), res);
  } else if (AnswerCurveShape(req, path, res)) {
  } else {
    return false;
  }
  return true;
}

}  // namespace zq::setup::ui

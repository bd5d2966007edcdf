#include "zq_check/json_report.h"

#include <nlohmann/json.hpp>

#include "app/error_report.h"
#include "app/version.h"
#include "zq_check/text_report.h"

namespace zq::check {
namespace {

// Keys in the order written, as the report has always had them.
using Json = nlohmann::ordered_json;

// Text from the settings file is single-byte: 128..255 become U+0080..U+00FF,
// so that every report is valid UTF-8.
std::string Text(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (char ch : bytes) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x80) {
      out += ch;
    } else {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

const char* SourceName(ValueSource s) {
  switch (s) {
    case ValueSource::file:
      return "file";
    case ValueSource::empty:
      return "empty";
    case ValueSource::fallback:
      return "default";
    case ValueSource::failed:
      return "failed";
    case ValueSource::unloaded:
      return "unloaded";
  }
  return "";
}

const char* SourceName(CurveSource s) {
  switch (s) {
    case CurveSource::file:
      return "file";
    case CurveSource::fallback:
      return "default";
    case CurveSource::copy:
      return "copy";
    case CurveSource::gap:
      return "missing";
    case CurveSource::unloaded:
      return "unloaded";
  }
  return "";
}

const char* TestName(SlotTest t) {
  return t == SlotTest::pressed ? "pressed" : (t == SlotTest::held ? "held" : "axis");
}

Json Line(int line) {
  return line == 0 ? Json(nullptr) : Json(line);
}

Json Bindings(const CheckResult& r) {
  Json list = Json::array();
  for (int s = 0; s < kSlotCount; ++s) {
    const SlotReport& slot = r.slots[static_cast<size_t>(s)];
    const Binding& b = r.settings.bindings[static_cast<size_t>(s)];
    const SlotInfo& info = kSlotTable[static_cast<size_t>(s)];
    Json o;
    o["slot"] = s;
    o["key"] = Text(info.key);
    o["test"] = TestName(info.test);
    o["source"] = SourceName(slot.source);
    o["line"] = Line(slot.line);
    o["text"] = slot.source == ValueSource::unloaded ? Json(nullptr) : Json(Text(slot.text));
    o["device"] = b.device;
    o["code"] = b.code;
    o["ctrl"] = b.ctrl;
    o["alt"] = b.alt;
    o["shift"] = b.shift;
    o["words"] = Text(slot.words);
    list.push_back(std::move(o));
  }
  return list;
}

Json CurveObject(const CurveReport& c) {
  Json o;
  o["key"] = Text(c.key);
  o["source"] = SourceName(c.source);
  o["line"] = Line(c.line);
  Json points = Json::array();
  for (int k = 0; k < kCurvePoints; ++k) points.push_back(c.curve[k]);
  o["points"] = std::move(points);
  Json outputs = Json::array();
  for (int32_t v : c.outputs) outputs.push_back(v);
  o["outputs"] = std::move(outputs);
  return o;
}

void Curves(const CheckResult& r, Json& j) {
  j["curveCount"] = r.bank.curveCount;
  Json sets = Json::array();
  for (const CurveSetReport& set : r.curveSets) {
    Json o;
    o["Y"] = CurveObject(set.y);
    o["X"] = CurveObject(set.x);
    o["Z"] = CurveObject(set.z);
    sets.push_back(std::move(o));
  }
  j["curveSets"] = std::move(sets);
  Json trims = Json::object();
  for (const CurveReport& c : r.trimCurves) trims[Text(c.key)] = CurveObject(c);
  j["trimCurves"] = std::move(trims);
}

Json LoadError(const CheckResult& r) {
  if (!r.loadError) return nullptr;
  const BindingLoadError& e = *r.loadError;
  Json o;
  o["slot"] = e.slot;
  o["key"] = Text(kSlotTable[static_cast<size_t>(e.slot)].key);
  o["line"] = Line(r.slots[static_cast<size_t>(e.slot)].line);
  o["offending"] = Text(e.error.offending);
  o["box"] = Text(MakeReportText(e.error.Message()).View());
  return o;
}

Json Diagnostics(const CheckResult& r) {
  Json list = Json::array();
  for (const Diagnostic& d : r.diagnostics) {
    Json o;
    o["severity"] = SeverityName(d.severity);
    o["kind"] = Text(d.kind);
    o["line"] = Line(d.line);
    o["key"] = Text(d.key);
    o["message"] = Text(d.message);
    // found past a load error, reading on as if it were not there
    if (std::string_view premise = PremiseOf(d); !premise.empty()) {
      o["premise"] = Text(premise);
    }
    list.push_back(std::move(o));
  }
  return list;
}

}  // namespace

void WriteJsonReport(const CheckResult& r, std::ostream& out) {
  Json j;
  j["tool"] = "zq-check";
  j["version"] = Text(kVersion);
  j["file"] = Text(r.path);
  j["found"] = r.found;
  if (!r.found) j["unreadable"] = Text(r.unreadable);
  j["hasMain"] = r.hasMain;
  j["status"] = r.ExitStatus();
  j["warnings"] = r.Count(Severity::warning);
  j["errors"] = r.Count(Severity::error);
  j["diagnostics"] = Diagnostics(r);
  j["loadError"] = LoadError(r);
  j["bindings"] = Bindings(r);
  Json watched = Json::array();
  r.settings.watchedKeys.ForEach([&](int vk) { watched.push_back(vk); });
  j["watchedKeys"] = std::move(watched);
  Json joyUsed = Json::array();
  for (int id = 0; id < kJoystickCount; ++id) {
    if (r.settings.joyUsed.Contains(id)) joyUsed.push_back(id);
  }
  j["joyUsed"] = std::move(joyUsed);
  Curves(r, j);
  const LoadedSettings& s = r.settings;
  j["windowX"] = s.windowX;
  j["windowY"] = s.windowY;
  j["startTrim"] = s.startTrim;
  j["startFlaps"] = s.startFlaps;
  out << j.dump() << '\n';
}

}  // namespace zq::check

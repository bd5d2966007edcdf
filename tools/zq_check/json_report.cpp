#include "zq_check/json_report.h"

#include "app/error_report.h"
#include "app/version.h"
#include "zq_check/json_writer.h"
#include "zq_check/text_report.h"

namespace zq::check {
namespace {

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

void Line(JsonWriter& j, int line) {
  j.Key("line");
  if (line == 0) {
    j.Null();
  } else {
    j.Int(line);
  }
}

void Bindings(const CheckResult& r, JsonWriter& j) {
  j.Key("bindings");
  j.BeginArray();
  for (int s = 0; s < kSlotCount; ++s) {
    const SlotReport& slot = r.slots[static_cast<size_t>(s)];
    const Binding& b = r.settings.bindings[static_cast<size_t>(s)];
    const SlotInfo& info = kSlotTable[static_cast<size_t>(s)];
    j.BeginObject();
    j.Key("slot");
    j.Int(s);
    j.Key("key");
    j.String(info.key);
    j.Key("test");
    j.String(TestName(info.test));
    j.Key("source");
    j.String(SourceName(slot.source));
    Line(j, slot.line);
    j.Key("text");
    if (slot.source == ValueSource::unloaded) {
      j.Null();
    } else {
      j.String(slot.text);
    }
    j.Key("device");
    j.Int(b.device);
    j.Key("code");
    j.Int(b.code);
    j.Key("ctrl");
    j.Bool(b.ctrl);
    j.Key("alt");
    j.Bool(b.alt);
    j.Key("shift");
    j.Bool(b.shift);
    j.Key("words");
    j.String(slot.words);
    j.EndObject();
  }
  j.EndArray();
}

void Sets(const CheckResult& r, JsonWriter& j) {
  j.Key("watchedKeys");
  j.BeginArray();
  r.settings.watchedKeys.ForEach([&](int vk) { j.Int(vk); });
  j.EndArray();
  j.Key("joyUsed");
  j.BeginArray();
  for (int id = 0; id < kJoystickCount; ++id) {
    if (r.settings.joyUsed.Contains(id)) j.Int(id);
  }
  j.EndArray();
}

void CurveObject(const CurveReport& c, JsonWriter& j) {
  j.BeginObject();
  j.Key("key");
  j.String(c.key);
  j.Key("source");
  j.String(SourceName(c.source));
  Line(j, c.line);
  j.Key("points");
  j.BeginArray();
  for (int k = 0; k < kCurvePoints; ++k) j.Int(c.curve[k]);
  j.EndArray();
  j.Key("outputs");
  j.BeginArray();
  for (int32_t v : c.outputs) j.Int(v);
  j.EndArray();
  j.EndObject();
}

void Curves(const CheckResult& r, JsonWriter& j) {
  j.Key("curveCount");
  j.Int(r.bank.curveCount);
  j.Key("curveSets");
  j.BeginArray();
  for (const CurveSetReport& set : r.curveSets) {
    j.BeginObject();
    j.Key("Y");
    CurveObject(set.y, j);
    j.Key("X");
    CurveObject(set.x, j);
    j.Key("Z");
    CurveObject(set.z, j);
    j.EndObject();
  }
  j.EndArray();
  j.Key("trimCurves");
  j.BeginObject();
  for (const CurveReport& c : r.trimCurves) {
    j.Key(c.key);
    CurveObject(c, j);
  }
  j.EndObject();
}

void StartValues(const CheckResult& r, JsonWriter& j) {
  const LoadedSettings& s = r.settings;
  for (auto [key, value] :
       {std::pair{"windowX", s.windowX}, std::pair{"windowY", s.windowY},
        std::pair{"startTrim", s.startTrim}, std::pair{"startFlaps", s.startFlaps}}) {
    j.Key(key);
    j.Int(value);
  }
}

void LoadError(const CheckResult& r, JsonWriter& j) {
  j.Key("loadError");
  if (!r.loadError) {
    j.Null();
    return;
  }
  const BindingLoadError& e = *r.loadError;
  j.BeginObject();
  j.Key("slot");
  j.Int(e.slot);
  j.Key("key");
  j.String(kSlotTable[static_cast<size_t>(e.slot)].key);
  Line(j, r.slots[static_cast<size_t>(e.slot)].line);
  j.Key("offending");
  j.String(e.error.offending);
  j.Key("box");
  j.String(MakeReportText(e.error.Message()).View());
  j.EndObject();
}

void Diagnostics(const CheckResult& r, JsonWriter& j) {
  j.Key("diagnostics");
  j.BeginArray();
  for (const Diagnostic& d : r.diagnostics) {
    j.BeginObject();
    j.Key("severity");
    j.String(SeverityName(d.severity));
    j.Key("kind");
    j.String(d.kind);
    Line(j, d.line);
    j.Key("key");
    j.String(d.key);
    j.Key("message");
    j.String(d.message);
    j.EndObject();
  }
  j.EndArray();
}

}  // namespace

void WriteJsonReport(const CheckResult& r, std::ostream& out) {
  JsonWriter j(out);
  j.BeginObject();
  j.Key("tool");
  j.String("zq-check");
  j.Key("version");
  j.String(kVersion);
  j.Key("file");
  j.String(r.path);
  j.Key("found");
  j.Bool(r.found);
  if (!r.found) {
    j.Key("unreadable");
    j.String(r.unreadable);
  }
  j.Key("hasMain");
  j.Bool(r.hasMain);
  j.Key("status");
  j.Int(r.ExitStatus());
  j.Key("warnings");
  j.Int(r.Count(Severity::warning));
  j.Key("errors");
  j.Int(r.Count(Severity::error));
  Diagnostics(r, j);
  LoadError(r, j);
  Bindings(r, j);
  Sets(r, j);
  Curves(r, j);
  StartValues(r, j);
  j.EndObject();
  out << '\n';
}

}  // namespace zq::check

// Events of a scripted run as JSON Lines.
#pragma once

#include <cstdint>
#include <ostream>
#include <string_view>

#include "app/error_report.h"
#include "app/tform1.h"
#include "app/window_view.h"

namespace zq {

// The events of a run as values, for a reader inside the same program (the
// configurator's preview) that would otherwise parse the JSON back.
class EventObserver {
 public:
  virtual ~EventObserver() = default;
  virtual void OnWindow(int64_t tick, const Placement& p) = 0;
  virtual void OnLabelText(int64_t tick, Label label, std::string_view utf8) = 0;
  virtual void OnColor(int64_t tick, Label label, Rgb rgb) = 0;
  virtual void OnBackground(int64_t tick, Label label, Rgb rgb) = 0;
  virtual void OnSend(int64_t tick, std::string_view data) = 0;
  virtual void OnError(int64_t tick, std::string_view singleByteText) = 0;
};

// Writes the events byte for byte as the replay format fixes them, so it is
// written by hand rather than with nlohmann-json (which zq-check uses): the
// library writes \b and \f in their short forms and DEL unescaped, and
// throws on text that is not UTF-8, where these streams have always had
// \u0008, \u000c and \u007f, and programs that read them compare bytes.
class EventWriter {
 public:
  explicit EventWriter(std::ostream& out) : out_(out) {}
  // `observer` also gets every event but paint and state (null: none).
  void Observe(EventObserver* observer) { observer_ = observer; }
  void SetTick(int64_t tick) { tick_ = tick; }
  int64_t Tick() const { return tick_; }

  void Window(const Placement& p);
  void LabelText(Label label, std::string_view utf8);
  void Color(Label label, Rgb rgb);
  void Background(Label label, Rgb rgb);
  void Paint(const PaintColumns& columns);
  void Send(std::string_view data);
  void Error(std::string_view singleByteText);
  // A line of the panel's own report (pinned sticks found, missing, ambiguous).
  void Report(std::string_view singleByteText);
  void State(const TForm1& form);

 private:
  void Begin(std::string_view event);
  void End();
  std::ostream& out_;
  EventObserver* observer_ = nullptr;
  int64_t tick_ = 0;
};

// JSON string of UTF-8 text (control characters escaped).
void WriteJsonUtf8(std::ostream& out, std::string_view utf8);
// JSON string of single-byte text: bytes 128..255 become U+0080..U+00FF.
void WriteJsonLatin1(std::ostream& out, std::string_view bytes);

// The window as events.
class ScriptView : public WindowView {
 public:
  explicit ScriptView(EventWriter& events) : events_(events) {}
  void AttachForm(const TForm1* form) { form_ = form; }
  void SetText(Label label, std::string_view text) override { events_.LabelText(label, text); }
  void SetFontColor(Label label, Rgb color) override { events_.Color(label, color); }
  void SetBackground(Label label, Rgb color) override { events_.Background(label, color); }
  void RepaintP() override;
  void Place(const Placement& placement) override { events_.Window(placement); }

 private:
  EventWriter& events_;
  const TForm1* form_ = nullptr;
};

class ScriptErrorReport : public ErrorReport {
 public:
  explicit ScriptErrorReport(EventWriter& events) : events_(events) {}
  void ReportError(std::string_view text) override { events_.Error(text); }

 private:
  EventWriter& events_;
};

}  // namespace zq

#include "platform/script/json_events.h"

#include "config/ascii.h"

namespace zq {
namespace {

void WriteEscaped(std::ostream& out, unsigned char c) {
  static constexpr char kHex[] = "0123456789abcdef";
  switch (c) {
    case '"':
      out << "\\\"";
      return;
    case '\\':
      out << "\\\\";
      return;
    case '\n':
      out << "\\n";
      return;
    case '\r':
      out << "\\r";
      return;
    case '\t':
      out << "\\t";
      return;
    default:
      break;
  }
  if (IsControlByte(c)) {
    out << "\\u00" << kHex[c >> 4] << kHex[c & 15];
  } else {
    out << static_cast<char>(c);
  }
}

void WriteRgb(std::ostream& out, Rgb rgb) {
  out << '[' << int{rgb.r} << ',' << int{rgb.g} << ',' << int{rgb.b} << ']';
}

void WriteCurve(std::ostream& out, const Curve& c) {
  out << '[';
  for (size_t i = 0; i < c.slot.size(); ++i) out << (i ? "," : "") << c.slot[i];
  out << ']';
}

void WriteCurves(std::ostream& out, const std::array<Curve, kCurveSets>& curves) {
  out << '[';
  for (size_t k = 0; k < curves.size(); ++k) {
    if (k) out << ',';
    WriteCurve(out, curves[k]);
  }
  out << ']';
}

template <typename Set, int N>
void WriteSet(std::ostream& out, const Set& set) {
  out << '[';
  bool first = true;
  for (int i = 0; i < N; ++i) {
    if (!set.Contains(i)) continue;
    out << (first ? "" : ",") << i;
    first = false;
  }
  out << ']';
}

const char* Bool(bool b) {
  return b ? "true" : "false";
}

}  // namespace

void WriteJsonUtf8(std::ostream& out, std::string_view utf8) {
  out << '"';
  for (char c : utf8) WriteEscaped(out, static_cast<unsigned char>(c));
  out << '"';
}

void WriteJsonLatin1(std::ostream& out, std::string_view bytes) {
  out << '"';
  for (char ch : bytes) {
    unsigned char c = static_cast<unsigned char>(ch);
    if (c >= 0x80) {
      out << static_cast<char>(0xC0 | (c >> 6)) << static_cast<char>(0x80 | (c & 0x3F));
    } else {
      WriteEscaped(out, c);
    }
  }
  out << '"';
}

void EventWriter::Begin(std::string_view event) {
  out_ << "{\"tick\":" << tick_ << ",\"event\":\"" << event << '"';
}

void EventWriter::End() {
  out_ << "}\n";
}

void EventWriter::Window(const Placement& p) {
  if (observer_ != nullptr) observer_->OnWindow(tick_, p);
  Begin("window");
  out_ << ",\"left\":" << p.left << ",\"top\":" << p.top << ",\"width\":" << p.width
       << ",\"height\":" << p.height;
  End();
}

void EventWriter::LabelText(Label label, std::string_view utf8) {
  if (observer_ != nullptr) observer_->OnLabelText(tick_, label, utf8);
  Begin("label");
  out_ << ",\"name\":\"" << LabelName(label) << "\",\"text\":";
  WriteJsonUtf8(out_, utf8);
  End();
}

void EventWriter::Color(Label label, Rgb rgb) {
  if (observer_ != nullptr) observer_->OnColor(tick_, label, rgb);
  Begin("color");
  out_ << ",\"name\":\"" << LabelName(label) << "\",\"rgb\":";
  WriteRgb(out_, rgb);
  End();
}

void EventWriter::Background(Label label, Rgb rgb) {
  if (observer_ != nullptr) observer_->OnBackground(tick_, label, rgb);
  Begin("background");
  out_ << ",\"name\":\"" << LabelName(label) << "\",\"rgb\":";
  WriteRgb(out_, rgb);
  End();
}

void EventWriter::Paint(const PaintColumns& columns) {
  Begin("paint");
  out_ << ",\"columns\":[";
  for (size_t i = 0; i < columns.size(); ++i) out_ << (i ? "," : "") << columns[i];
  out_ << ']';
  End();
}

void EventWriter::Send(std::string_view data) {
  if (observer_ != nullptr) observer_->OnSend(tick_, data);
  Begin("send");
  out_ << ",\"data\":";
  WriteJsonLatin1(out_, data);
  End();
}

void EventWriter::Error(std::string_view singleByteText) {
  if (observer_ != nullptr) observer_->OnError(tick_, singleByteText);
  Begin("error");
  out_ << ",\"text\":";
  WriteJsonLatin1(out_, singleByteText);
  End();
}

void EventWriter::Report(std::string_view singleByteText) {
  Begin("report");
  out_ << ",\"text\":";
  WriteJsonLatin1(out_, singleByteText);
  End();
}

void EventWriter::State(const TForm1& form) {
  const FormState& st = form.State();
  const ControlState& c = st.control;
  const CurveBank& bank = form.Bank();
  Begin("state");
  out_ << ",\"control\":{"
       << "\"axisY\":" << c.axisY << ",\"axisX\":" << c.axisX << ",\"axisZ\":" << c.axisZ
       << ",\"trimYBtn\":" << c.trimYBtn << ",\"trimXBtn\":" << c.trimXBtn
       << ",\"trimZBtn\":" << c.trimZBtn << ",\"trimYAxis\":" << c.trimYAxis
       << ",\"trimXAxis\":" << c.trimXAxis << ",\"trimZAxis\":" << c.trimZAxis
       << ",\"trimYTotal\":" << c.trimYTotal << ",\"trimXTotal\":" << c.trimXTotal
       << ",\"trimZTotal\":" << c.trimZTotal << ",\"sentY\":" << c.sentY << ",\"sentX\":" << c.sentX
       << ",\"sentZ\":" << c.sentZ << ",\"throttle\":" << c.throttle
       << ",\"throttleStep\":" << c.throttleStep << ",\"sentThrottle\":" << c.sentThrottle
       << ",\"flaps\":" << c.flaps << ",\"sentFlaps\":" << c.sentFlaps
       << ",\"startTrim\":" << c.startTrim << ",\"startFlaps\":" << c.startFlaps
       << ",\"fireTime1\":" << c.fireTime1 << ",\"fireTime2\":" << c.fireTime2
       << ",\"useTrim\":" << Bool(c.useTrim) << ",\"useYTrim\":" << Bool(c.useYTrim)
       << ",\"chatMode\":" << Bool(c.chatMode) << '}';
  out_ << ",\"curveIndex\":" << bank.curveIndex << ",\"curveCount\":" << bank.curveCount;
  out_ << ",\"curves\":{\"Y\":";
  WriteCurves(out_, bank.curvesY);
  out_ << ",\"X\":";
  WriteCurves(out_, bank.curvesX);
  out_ << ",\"Z\":";
  WriteCurves(out_, bank.curvesZ);
  out_ << ",\"TrimY\":";
  WriteCurve(out_, bank.curveTrimY);
  out_ << ",\"TrimX\":";
  WriteCurve(out_, bank.curveTrimX);
  out_ << ",\"TrimZ\":";
  WriteCurve(out_, bank.curveTrimZ);
  out_ << "},\"bindings\":[";
  for (size_t i = 0; i < st.bindings.size(); ++i) {
    const Binding& b = st.bindings[i];
    out_ << (i ? "," : "") << "{\"device\":" << b.device << ",\"code\":" << b.code
         << ",\"ctrl\":" << Bool(b.ctrl) << ",\"alt\":" << Bool(b.alt)
         << ",\"shift\":" << Bool(b.shift) << '}';
  }
  out_ << "],\"watchedKeys\":";
  WriteSet<KeySet, 256>(out_, st.watchedKeys);
  out_ << ",\"joyUsed\":";
  WriteSet<JoySet, kJoystickCount>(out_, st.joyUsed);
  out_ << ",\"windowX\":" << st.windowX << ",\"windowY\":" << st.windowY;
  End();
}

void ScriptView::RepaintP() {
  if (form_ != nullptr) events_.Paint(form_->PPaint());
}

}  // namespace zq

#include "zq_setup/ui/preview.h"

#include "app/form_design.h"
#include "config/settings_snapshot.h"
#include "zq_listen/message_decode.h"

namespace zq::setup::ui {

namespace {

using nlohmann::json;

constexpr size_t kMaxPendingEvents = 1 << 20;  // a reader that never asks loses the oldest
constexpr size_t kSendsShown = 40;
constexpr size_t kErrorsShown = 10;

// Event texts of single bytes come as U+0000..U+00FF: back to the bytes.
std::string Latin1Bytes(const std::string& utf8) {
  std::string bytes;
  for (size_t i = 0; i < utf8.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(utf8[i]);
    if (c >= 0xC0 && c <= 0xC3 && i + 1 < utf8.size()) {
      bytes +=
          static_cast<char>(((c & 0x03) << 6) | (static_cast<unsigned char>(utf8[++i]) & 0x3F));
    } else {
      bytes += static_cast<char>(c);
    }
  }
  return bytes;
}

Rgb RgbOf(const json& v) {
  return Rgb{v.at(0).get<uint8_t>(), v.at(1).get<uint8_t>(), v.at(2).get<uint8_t>()};
}

json RgbJson(Rgb c) {
  return json::array({c.r, c.g, c.b});
}

}  // namespace

void Preview::Load(std::string path, std::optional<std::string> bytes) {
  if (loaded_ && path == path_ && bytes == bytes_) return;  // the same file: nothing to restart
  path_ = std::move(path);
  bytes_ = std::move(bytes);
  loaded_ = true;
  loadPending_ = true;
}

void Preview::StartRecording() {
  if (recordState_ == RecordState::waiting || recordState_ == RecordState::recording) return;
  recordState_ = RecordState::waiting;
}

void Preview::Rebuild() {
  // A recording is made of one run from its start: a restart cuts it short.
  if (recordState_ == RecordState::recording) recordState_ = RecordState::stopped;
  if (recordState_ == RecordState::waiting) {
    recordState_ = RecordState::recording;
    recordTicks_ = 0;
    idleTicks_ = 0;
    recordText_ = "# zq-setup recording: " + std::to_string(kRecordTicks) +
                  " ticks of 50 ms of the live devices.\n"
                  "# Replay it with the settings it was made with:\n"
                  "#   zq-replay --setup Setup.ini --screen " +
                  std::to_string(screen_.width) + "x" + std::to_string(screen_.height) +
                  " recording.script\n";
  }
  session_.reset();
  out_.str("");
  SettingsFileText file;
  if (bytes_) {
    file.state = SettingsFileState::read;
    file.text = *bytes_;
    file.size = bytes_->size();
  }
  SettingsSnapshot settings(path_, std::move(file));
  labels_.clear();
  for (const LabelDesign& d : kLabelDesign)
    labels_.push_back({std::string(d.text), d.color, kNavy});
  sends_.clear();
  errors_.clear();
  placement_.reset();
  fed_ = DeviceFrame{};
  session_ = std::make_unique<ScriptSession>(settings, screen_, out_);
  ++generation_;
  loadPending_ = false;
  Take(out_.str());
  out_.str("");
}

// The script lines that bring the session's devices to `devices`: only
// joysticks and keys that the settings use, since the core samples no other.
std::vector<std::string> Preview::FeedLines(const DeviceFrame& devices) {
  std::vector<std::string> lines;
  const FormState& st = session_->Form().State();
  for (int id = 0; id < kJoystickCount; ++id) {
    if (!st.joyUsed.Contains(id)) continue;
    size_t i = static_cast<size_t>(id);
    bool now = devices.plugged[i];
    if (now != fed_.plugged[i]) lines.push_back((now ? "plug " : "unplug ") + std::to_string(id));
    fed_.plugged[i] = now;
    if (!now) continue;  // an unplugged record keeps what it held
    for (int w = 0; w < JoyInfoEx::kWords; ++w) {
      uint32_t v = devices.sticks[i].Word(w);
      if (v == fed_.sticks[i].Word(w)) continue;
      lines.push_back("joy " + std::to_string(id) + " " + std::to_string(w) + " " +
                      std::to_string(v));
      fed_.sticks[i].SetWord(w, v);
    }
  }
  for (int vk = 0; vk < 256; ++vk) {
    size_t i = static_cast<size_t>(vk);
    if (!st.watchedKeys.Contains(vk) || devices.keys[i] == fed_.keys[i]) continue;
    lines.push_back("key " + std::to_string(vk) + " " + std::to_string(devices.keys[i]));
    fed_.keys[i] = devices.keys[i];
  }
  return lines;
}

void Preview::Record(const std::string& line) {
  if (recordState_ != RecordState::recording) return;
  if (line == "tick") {
    ++idleTicks_;
    return;
  }
  if (idleTicks_ > 0) {
    recordText_ += idleTicks_ == 1 ? "tick\n" : "tick " + std::to_string(idleTicks_) + "\n";
    idleTicks_ = 0;
  }
  if (!line.empty()) recordText_ += line + "\n";
}

void Preview::Tick(const DeviceFrame& devices) {
  if (loadPending_ || recordState_ == RecordState::waiting) Rebuild();
  if (!session_) return;
  std::vector<std::string> lines = FeedLines(devices);
  lines.push_back("tick");
  for (const std::string& line : lines) {
    session_->Execute(line);  // made here, always well formed
    Record(line);
  }
  Take(out_.str());
  out_.str("");
  if (recordState_ == RecordState::recording && ++recordTicks_ == kRecordTicks) {
    Record("");
    recording_ = recordText_;
    recordState_ = RecordState::done;
  }
}

void Preview::Take(std::string_view text) {
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    json event = json::parse(text.substr(start, end - start), nullptr, false);
    if (!event.is_discarded()) Apply(event);
    start = end + 1;
  }
  events_.append(text);
  if (events_.size() > kMaxPendingEvents) {
    size_t cut = events_.find('\n', events_.size() - kMaxPendingEvents);
    events_.erase(0, cut == std::string::npos ? events_.size() : cut + 1);
  }
}

void Preview::Apply(const json& e) {
  const std::string what = e.value("event", "");
  int64_t tick = e.value("tick", int64_t{0});
  auto label = [&]() -> LabelShown* {
    std::string name = e.value("name", "");
    for (size_t i = 0; i < labels_.size(); ++i) {
      if (LabelName(kLabelDesign[i].label) == name) return &labels_[i];
    }
    return nullptr;
  };
  if (what == "label") {
    if (LabelShown* l = label()) l->text = e.value("text", "");
  } else if (what == "color") {
    if (LabelShown* l = label()) l->color = RgbOf(e.at("rgb"));
  } else if (what == "background") {
    if (LabelShown* l = label()) l->background = RgbOf(e.at("rgb"));
  } else if (what == "send") {
    sends_.push_front({tick, Latin1Bytes(e.value("data", ""))});
    if (sends_.size() > kSendsShown) sends_.pop_back();
  } else if (what == "error") {
    errors_.push_front({tick, e.value("text", "")});
    if (errors_.size() > kErrorsShown) errors_.pop_back();
  } else if (what == "window") {
    placement_ =
        Placement{e.value("left", 0), e.value("top", 0), e.value("width", 0), e.value("height", 0)};
  }
}

std::string Preview::TakeEvents() {
  std::string out;
  out.swap(events_);
  return out;
}

json Preview::Model() const {
  json out{{"generation", generation_}, {"running", session_ != nullptr}};
  if (!session_) return out;
  json labels = json::array();
  for (size_t i = 0; i < labels_.size(); ++i) {
    const LabelDesign& d = kLabelDesign[i];
    labels.push_back({{"name", LabelName(d.label)},
                      {"text", labels_[i].text},
                      {"color", RgbJson(labels_[i].color)},
                      {"background", RgbJson(labels_[i].background)},
                      {"left", d.left},
                      {"top", d.top},
                      {"beforeP", i < static_cast<size_t>(kLabelsBeforeP)}});
  }
  // P as the panel paints it: a white line of rows per column.
  json rows = json::array();
  for (int32_t h : session_->Form().PPaint()) {
    PaintRows r = PaintColumnRows(h);
    rows.push_back(json::array({r.first, r.last}));
  }
  json sends = json::array();
  for (const SendShown& s : sends_) {
    listen::DecodedMessage m = listen::DecodeMessage(s.data);
    sends.push_back({{"tick", s.tick},
                     {"text", listen::Printable(s.data)},
                     {"channels", m.channels},
                     {"problems", m.problems}});
  }
  json errors = json::array();
  for (const auto& [tick, text] : errors_) errors.push_back({{"tick", tick}, {"text", text}});
  static const char* kRecordStates[] = {"idle", "waiting", "recording", "done", "stopped"};
  out.update(
      json{{"tick", session_->Ticks()},
           {"settings", bytes_ ? "document" : "defaults"},
           {"panel",
            {{"width", kPanelWidth}, {"height", kDesignHeight}, {"background", RgbJson(kNavy)}}},
           {"labels", labels},
           {"labelHeight", kLabelHeight},
           {"paint",
            {{"left", kPaintBox.left},
             {"top", kPaintBox.top},
             {"width", kPaintBox.width},
             {"height", kPaintBox.height},
             {"rows", rows}}},
           {"placement", placement_ ? json{{"left", placement_->left},
                                           {"top", placement_->top},
                                           {"width", placement_->width},
                                           {"height", placement_->height}}
                                    : json(nullptr)},
           {"loadEnded", session_->Form().LoadError().has_value()},
           {"errors", errors},
           {"sends", sends},
           {"recording",
            {{"state", kRecordStates[static_cast<int>(recordState_)]},
             {"ticks", recordTicks_},
             {"of", kRecordTicks},
             {"ready", !recording_.empty()}}}});
  return out;
}

}  // namespace zq::setup::ui

#include "zq_setup/ui/preview.h"

#include <algorithm>

#include "app/form_design.h"
#include "config/settings_snapshot.h"
#include "zq_listen/message_decode.h"

namespace zq::setup::ui {

namespace {

using nlohmann::json;

constexpr size_t kMaxPendingEvents = 1 << 20;  // a reader that never asks loses the oldest
constexpr size_t kSendsShown = 40;
constexpr size_t kErrorsShown = 10;

// Texts of single bytes shown as U+0000..U+00FF, as the event stream has them.
std::string Latin1Utf8(std::string_view bytes) {
  std::string utf8;
  for (char ch : bytes) {
    unsigned char c = static_cast<unsigned char>(ch);
    if (c >= 0x80) {
      utf8 += static_cast<char>(0xC0 | (c >> 6));
      utf8 += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      utf8 += ch;
    }
  }
  return utf8;
}

json RgbJson(Rgb c) {
  return json::array({c.r, c.g, c.b});
}

std::string Base64(const uint8_t* data, size_t size) {
  static constexpr char kDigits[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((size + 2) / 3 * 4);
  for (size_t i = 0; i < size; i += 3) {
    uint32_t n = uint32_t{data[i]} << 16;
    if (i + 1 < size) n |= uint32_t{data[i + 1]} << 8;
    if (i + 2 < size) n |= data[i + 2];
    out += kDigits[(n >> 18) & 63];
    out += kDigits[(n >> 12) & 63];
    out += i + 1 < size ? kDigits[(n >> 6) & 63] : '=';
    out += i + 2 < size ? kDigits[n & 63] : '=';
  }
  return out;
}

// As many devices as a script declares.
constexpr size_t kMaxFedDevices = 16;

// What a `device` line can carry: a script line ends at '#', and a field
// that holds a blank, a quote or a control byte is left out.
StickIdentity ScriptIdentity(const StickIdentity& device) {
  StickIdentity out;
  out.vendor = device.vendor;
  out.product = device.product;
  for (char c : device.name.View()) {
    const unsigned char u = static_cast<unsigned char>(c);
    out.name.Append(u < 32 || u == 127 || c == '#' ? '?' : c);
  }
  const std::pair<const StickText*, StickText*> fields[] = {
      {&device.serial, &out.serial}, {&device.path, &out.path}, {&device.guid, &out.guid}};
  for (const auto& [from, to] : fields) {
    std::string_view v = from->View();
    bool ok = !v.empty();
    for (char c : v) ok = ok && static_cast<unsigned char>(c) > 32 && c != '"' && c != '#';
    if (ok) to->Append(v);
  }
  return out;
}

// One device, whatever port it is in.
bool SameDevice(const StickIdentity& a, const StickIdentity& b) {
  return a.vendor == b.vendor && a.product == b.product && a.name.View() == b.name.View() &&
         a.serial.View() == b.serial.View() && a.guid.View() == b.guid.View();
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
  watch_.Reset();
  fed_ = DeviceFrame{};
  EventObserver* observer = this;
  session_ = std::make_unique<ScriptSession>(settings, screen_, out_, nullptr, observer);
  pinned_ = session_->Form().State().sticks.pins.Any();
  devices_.clear();
  ++generation_;
  loadPending_ = false;
  TakeEventText();
}

// Brings the session's devices to `devices`, and writes each step to the
// recording: only joysticks and keys that the settings use, since the core
// samples no other.
void Preview::Feed(const DeviceFrame& devices) {
  const FormState& st = session_->Form().State();
  for (int id = 0; id < kJoystickCount && !pinned_; ++id) {
    if (!st.joyUsed.Contains(id)) continue;
    size_t i = static_cast<size_t>(id);
    bool now = devices.plugged[i];
    if (now != fed_.plugged[i]) {
      if (now) {
        session_->Plug(id);
      } else {
        session_->Unplug(id);
      }
      Record((now ? "plug " : "unplug ") + std::to_string(id));
    }
    fed_.plugged[i] = now;
    if (!now) continue;  // an unplugged record keeps what it held
    for (int w = 0; w < JoyInfoEx::kWords; ++w) {
      uint32_t v = devices.sticks[i].Word(w);
      if (v == fed_.sticks[i].Word(w)) continue;
      session_->SetStickWord(id, w, v);
      Record("joy " + std::to_string(id) + " " + std::to_string(w) + " " + std::to_string(v));
      fed_.sticks[i].SetWord(w, v);
    }
  }
  if (pinned_) FeedDevices(devices);
  for (int vk = 0; vk < 256; ++vk) {
    size_t i = static_cast<size_t>(vk);
    if (!st.watchedKeys.Contains(vk) || devices.keys[i] == fed_.keys[i]) continue;
    session_->SetKey(vk, devices.keys[i]);
    Record("key " + std::to_string(vk) + " " + std::to_string(devices.keys[i]));
    fed_.keys[i] = devices.keys[i];
  }
}

bool Preview::Step(const std::string& line) {
  if (session_->Execute(line)) return false;
  Record(line);
  return true;
}

// Every live stick, since a pin may take any of them and the ids not pinned
// number the ones left.
void Preview::FeedDevices(const DeviceFrame& devices) {
  for (int id = 0; id < kJoystickCount; ++id) {
    const size_t i = static_cast<size_t>(id);
    const bool now = devices.plugged[i];
    const StickIdentity written = ScriptIdentity(devices.identity[i]);
    auto at = std::find_if(devices_.begin(), devices_.end(),
                           [id](const FedDevice& d) { return d.liveId == id; });
    if (at != devices_.end() && (!now || !SameDevice(at->identity, written))) {
      if (Step("detach " + at->key)) at->liveId = -1;
      at = devices_.end();
    }
    if (!now) continue;
    if (at == devices_.end()) {
      // The device seen before, in the same port first: twins without a
      // serial are told apart by their ports.
      for (bool samePort : {true, false}) {
        for (auto d = devices_.begin(); d != devices_.end() && at == devices_.end(); ++d) {
          if (d->liveId < 0 && SameDevice(d->identity, written) &&
              (!samePort || d->identity.path.View() == written.path.View())) {
            at = d;
          }
        }
      }
      std::string attach;
      if (at == devices_.end()) {
        FedDevice d{std::string(1, static_cast<char>('A' + devices_.size())), written, {}, -1};
        if (devices_.size() >= kMaxFedDevices ||
            !Step("device " + d.key + " " + FormatStickPin(written))) {
          // more devices than a script holds, or one without VID:PID, which
          // no line can declare: it is not read
          continue;
        }
        devices_.push_back(d);
        at = devices_.end() - 1;
        attach = "attach " + at->key;
      } else if (at->identity.path.View() != written.path.View() && !written.path.Empty()) {
        attach = "attach " + at->key + " path=" + std::string(written.path.View());
        at->identity.path = written.path;
      } else {
        attach = "attach " + at->key;
      }
      if (!Step(attach)) continue;
      at->liveId = id;
    }
    for (int w = 0; w < JoyInfoEx::kWords; ++w) {
      const uint32_t v = devices.sticks[i].Word(w);
      uint32_t& fed = at->words[static_cast<size_t>(w)];
      if (v == fed) continue;
      if (Step("joy " + at->key + " " + std::to_string(w) + " " + std::to_string(v))) fed = v;
    }
  }
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
  Feed(devices);
  session_->Tick();
  watch_.AfterTick(session_->Form(), session_->Ticks());
  Record("tick");
  TakeEventText();
  if (recordState_ == RecordState::recording && ++recordTicks_ == kRecordTicks) {
    Record("");
    recording_ = recordText_;
    recordState_ = RecordState::done;
  }
}

// The events as zq-replay prints them, for the tools that ask for them.
void Preview::TakeEventText() {
  events_.append(out_.str());
  out_.str("");
  if (events_.size() > kMaxPendingEvents) {
    size_t cut = events_.find('\n', events_.size() - kMaxPendingEvents);
    events_.erase(0, cut == std::string::npos ? events_.size() : cut + 1);
  }
}

Preview::LabelShown* Preview::Shown(Label label) {
  for (size_t i = 0; i < labels_.size(); ++i) {
    if (kLabelDesign[i].label == label) return &labels_[i];
  }
  return nullptr;
}

void Preview::OnLabelText(int64_t, Label label, std::string_view utf8) {
  if (LabelShown* l = Shown(label)) l->text = std::string(utf8);
}

void Preview::OnColor(int64_t, Label label, Rgb rgb) {
  if (LabelShown* l = Shown(label)) l->color = rgb;
}

void Preview::OnBackground(int64_t, Label label, Rgb rgb) {
  if (LabelShown* l = Shown(label)) l->background = rgb;
}

void Preview::OnSend(int64_t tick, std::string_view data) {
  sends_.push_front({tick, std::string(data)});
  if (sends_.size() > kSendsShown) sends_.pop_back();
}

void Preview::OnError(int64_t tick, std::string_view singleByteText) {
  errors_.push_front({tick, Latin1Utf8(singleByteText)});
  if (errors_.size() > kErrorsShown) errors_.pop_back();
}

void Preview::OnWindow(int64_t, const Placement& p) {
  placement_ = p;
}

std::string Preview::TakeEvents() {
  std::string out;
  out.swap(events_);
  return out;
}

json Preview::Chain() const {
  return session_ ? watch_.Json(session_->Form()) : json(nullptr);
}

// The window as the panel draws it, cut to the width it is shown at: 42
// pixels once placed, the whole design when the settings load ended before
// placement.
json Preview::Picture() const {
  if (!picture_) return nullptr;
  PanelLook look;
  for (size_t i = 0; i < labels_.size(); ++i) {
    PanelLook::LabelLook& l = look.labels[static_cast<size_t>(kLabelDesign[i].label)];
    l.text = labels_[i].text;
    l.color = labels_[i].color;
    l.background = labels_[i].background;
  }
  look.columns = session_->Form().PPaint();
  PanelPixels pixels = picture_->Draw(look);
  if (pixels.size() != size_t{kDesignWidth} * kDesignHeight * 3) return nullptr;
  int width = placement_ ? placement_->width : kDesignWidth;
  width = width < 1 ? 1 : width > kDesignWidth ? kDesignWidth : width;
  std::string shown;
  shown.reserve(size_t(width) * kDesignHeight * 3);
  for (int y = 0; y < kDesignHeight; ++y) {
    const uint8_t* row = pixels.data() + size_t(y) * kDesignWidth * 3;
    shown.append(reinterpret_cast<const char*>(row), size_t(width) * 3);
  }
  return {{"width", width},
          {"height", kDesignHeight},
          {"rgb", Base64(reinterpret_cast<const uint8_t*>(shown.data()), shown.size())}};
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
           {"picture", Picture()},
           {"noPicture", picture_ ? "" : noPicture_},
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
           {"chain", Chain()},
           {"recording",
            {{"state", kRecordStates[static_cast<int>(recordState_)]},
             {"ticks", recordTicks_},
             {"of", kRecordTicks},
             {"ready", !recording_.empty()}}}});
  return out;
}

}  // namespace zq::setup::ui

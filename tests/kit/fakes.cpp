#include "kit/fakes.h"

#include <cstdio>
#include <cstdlib>

#include "app/form_design.h"

namespace zq::test {

void Broken(const char* what, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: invariant broken: %s\n", file, line, what);
  std::abort();
}

uint64_t HashBytes(std::string_view bytes) {
  uint64_t h = 1469598103934665603u;
  for (char c : bytes) h = (h ^ static_cast<unsigned char>(c)) * 1099511628211u;
  return h;
}

uint8_t FakeDevices::KeyState(int vk) {
  ZQ_KIT_CHECK(vk >= 0 && vk <= 255);
  if (recordPolls) keyPolls.push_back(vk);
  return keys[static_cast<size_t>(vk)];
}

bool FakeDevices::PollJoystick(int id, JoyInfoEx& record) {
  ZQ_KIT_CHECK(id >= 0 && id < 16);
  if (recordPolls) joyPolls.push_back(id);
  if (!plugged[static_cast<size_t>(id)]) return false;
  for (int w = 0; w < JoyInfoEx::kWords; ++w)
    record.SetWord(w, sticks[static_cast<size_t>(id)].Word(w));
  return true;
}

int FakeDevices::ListSticks(std::span<PresentStick> out) {
  size_t n = 0;
  for (int id = 0; id < 16 && n < out.size(); ++id) {
    if (plugged[static_cast<size_t>(id)]) out[n++] = {id, identity[static_cast<size_t>(id)]};
  }
  return static_cast<int>(n);
}

void FakeDevices::Axis(int id, int word, uint32_t v) {
  plugged[static_cast<size_t>(id)] = true;
  sticks[static_cast<size_t>(id)].SetWord(word, v);
}

void FakeDevices::Button(int id, int n, bool down) {
  plugged[static_cast<size_t>(id)] = true;
  uint32_t& b = sticks[static_cast<size_t>(id)].dwButtons;
  b = down ? (b | (1u << (n - 1))) : (b & ~(1u << (n - 1)));
}

void FakeDevices::AllWords(uint32_t v) {
  for (int id = 0; id < 16; ++id) {
    for (int w = 0; w < JoyInfoEx::kWords; ++w) Axis(id, w, v);
  }
}

void FakeDevices::Shake(Mixer& mix) {
  static constexpr uint8_t kStates[] = {0, 0, 1, 128, 129, 128, 2, 255};
  for (uint8_t& k : keys) k = kStates[mix.Below(8)];
  for (size_t id = 0; id < 16; ++id) {
    if (mix.Below(8) == 0) plugged[id] = !plugged[id];
    for (int w = 0; w < JoyInfoEx::kWords; ++w) {
      uint32_t pick = mix.Below(4);
      if (pick == 0) sticks[id].SetWord(w, kEdgeWords[mix.Below(kEdgeWords.size())]);
      if (pick == 1) sticks[id].SetWord(w, static_cast<uint32_t>(mix.Next()));
      if (pick == 2) sticks[id].SetWord(w, mix.Below(65536));
    }
  }
}

namespace {
std::string Colored(Label l, Rgb c) {
  return std::string(LabelName(l)) + " " + std::to_string(c.r) + "," + std::to_string(c.g) + "," +
         std::to_string(c.b);
}
}  // namespace

void RecordingView::SetText(Label l, std::string_view t) {
  calls.push_back("text " + std::string(LabelName(l)) + " " + std::string(t));
}
void RecordingView::SetFontColor(Label l, Rgb c) {
  calls.push_back("color " + Colored(l, c));
}
void RecordingView::SetBackground(Label l, Rgb c) {
  calls.push_back("background " + Colored(l, c));
}
void RecordingView::Place(const Placement& p) {
  calls.push_back("place " + std::to_string(p.left) + "," + std::to_string(p.top) + "," +
                  std::to_string(p.width) + "," + std::to_string(p.height));
}

LabelView::LabelView() {
  for (const LabelDesign& d : kLabelDesign) text[static_cast<size_t>(d.label)] = d.text;
}

void LabelView::SetText(Label l, std::string_view t) {
  ZQ_KIT_CHECK(t.size() < 64);  // every label is a few characters wide
  text[static_cast<size_t>(l)].assign(t);
}

SendResult RecordingSender::Send(const char* data, size_t size) {
  ++sends;
  last.assign(data, size);
  if (keepAll) sent.push_back(last);
  lastResult = {};
  if (!failures.empty()) {
    lastResult = failures.front();
    failures.erase(failures.begin());
  }
  return lastResult;
}

}  // namespace zq::test

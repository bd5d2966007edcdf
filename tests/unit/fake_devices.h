// Devices, window and sender that tests set and read directly.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "app/window_view.h"
#include "control/datagram_sender.h"
#include "input/input_devices.h"

namespace zq::test {

class FakeDevices : public InputDevices {
 public:
  std::array<uint8_t, 256> keys{};
  std::array<JoyInfoEx, 16> sticks{};
  std::array<bool, 16> plugged{};
  std::vector<int> keyPolls;
  std::vector<int> joyPolls;

  uint8_t KeyState(int vk) override {
    keyPolls.push_back(vk);
    return keys[static_cast<size_t>(vk)];
  }
  bool PollJoystick(int id, JoyInfoEx& record) override {
    joyPolls.push_back(id);
    if (!plugged[static_cast<size_t>(id)]) return false;
    for (int w = 0; w < JoyInfoEx::kWords; ++w)
      record.SetWord(w, sticks[static_cast<size_t>(id)].Word(w));
    return true;
  }
  void Axis(int id, int word, uint32_t v) {
    plugged[static_cast<size_t>(id)] = true;
    sticks[static_cast<size_t>(id)].SetWord(word, v);
  }
  void Button(int id, int n, bool down) {
    plugged[static_cast<size_t>(id)] = true;
    uint32_t& b = sticks[static_cast<size_t>(id)].dwButtons;
    b = down ? (b | (1u << (n - 1))) : (b & ~(1u << (n - 1)));
  }
};

// Records every call as a line, e.g. "text xp 60", "color ty 255,255,0".
class RecordingView : public WindowView {
 public:
  std::vector<std::string> calls;
  void SetText(Label l, std::string_view t) override {
    calls.push_back("text " + std::string(LabelName(l)) + " " + std::string(t));
  }
  void SetFontColor(Label l, Rgb c) override { calls.push_back("color " + Name(l, c)); }
  void SetBackground(Label l, Rgb c) override { calls.push_back("background " + Name(l, c)); }
  void RepaintP() override { calls.push_back("repaint"); }
  void Place(const Placement& p) override {
    calls.push_back("place " + std::to_string(p.left) + "," + std::to_string(p.top) + "," +
                    std::to_string(p.width) + "," + std::to_string(p.height));
  }

 private:
  static std::string Name(Label l, Rgb c) {
    return std::string(LabelName(l)) + " " + std::to_string(c.r) + "," + std::to_string(c.g) + "," +
           std::to_string(c.b);
  }
};

class RecordingSender : public DatagramSender {
 public:
  std::vector<std::string> sent;
  std::vector<SendResult> failures;  // consumed one per send, front first
  SendResult Send(const char* data, size_t size) override {
    sent.emplace_back(data, size);
    if (failures.empty()) return {};
    SendResult r = failures.front();
    failures.erase(failures.begin());
    return r;
  }
};

}  // namespace zq::test

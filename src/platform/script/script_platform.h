// The scripted platform: devices and a sender whose behaviour a script sets.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "control/datagram_sender.h"
#include "input/input_devices.h"
#include "platform/script/json_events.h"

namespace zq {

class ScriptDevices : public InputDevices {
 public:
  static constexpr int kMaxDevices = 16;

  // A stick as a script line names it: a system id, or a declared device.
  struct Target {
    int id = -1;      // 0..15
    int device = -1;  // index of a declared device
  };

  uint8_t KeyState(int vk) override { return keys_[static_cast<size_t>(vk & 255)]; }
  bool PollJoystick(int id, JoyInfoEx& record) override;
  int ListSticks(std::span<PresentStick> out) override;
  bool SticksChanged() override {
    const bool changed = sticksChanged_;
    sticksChanged_ = false;
    return changed;
  }

  void SetKey(int vk, uint8_t state) { keys_[static_cast<size_t>(vk)] = state; }
  // Sets word `word` of the stick; the first `joy`/`button` of an id plugs it in.
  void SetWord(Target t, int word, uint32_t value);
  void SetButton(Target t, int number, bool down);
  void Unplug(Target t);
  void Plug(Target t);

  // Declares a device under `key`; an error when the key is taken or there
  // are too many.
  std::optional<std::string> Declare(std::string_view key, const StickIdentity& identity);
  // The declared device of that key, or -1.
  int Find(std::string_view key) const;
  // Plugs the device in at the lowest free id, as the system would; unplugs
  // it and frees its id.
  std::optional<std::string> Attach(int device);
  std::optional<std::string> Detach(int device);
  // The port the device is plugged into next.
  void SetPath(int device, std::string_view path) {
    StickText& p = devices_[static_cast<size_t>(device)].identity.path;
    p.Clear();
    p.Append(path);
  }

 private:
  struct StickState {
    std::array<uint32_t, 11> words{};
    bool plugged = false;
    bool mentioned = false;  // plugged in once by joy/button; later only by plug
  };
  struct Device {
    std::string key;
    StickIdentity identity;
    StickState state;
    int id = -1;  // the system id while attached
  };
  StickState& Stick(int id) { return sticks_[static_cast<size_t>(id)]; }
  // The state a target reaches: the device's own, or the id's (the device
  // attached there, if any).
  StickState& StateOf(Target t);
  void Mention(Target t);
  std::array<uint8_t, 256> keys_{};
  std::array<StickState, 16> sticks_{};
  std::array<int, 16> attached_ = [] {
    std::array<int, 16> none{};
    none.fill(-1);
    return none;
  }();
  std::vector<Device> devices_;
  bool sticksChanged_ = false;
};

// Failures a script asks for, in front of an optional real sender.
class ScriptSender : public DatagramSender {
 public:
  // Every message handed over becomes a `send` event.
  ScriptSender(EventWriter& events, DatagramSender* real) : events_(events), real_(real) {}
  SendResult Send(const char* data, size_t size) override;

  void FailSocketCreation() { failSocket_ = true; }
  void FailNextSend(SendResult failure) { failSend_ = failure; }

 private:
  EventWriter& events_;
  DatagramSender* real_;
  bool socketExists_ = false;
  bool failSocket_ = false;
  std::optional<SendResult> failSend_;
};

}  // namespace zq

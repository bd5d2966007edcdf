// The scripted platform: devices and a sender whose behaviour a script sets.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "control/datagram_sender.h"
#include "input/input_devices.h"
#include "platform/script/json_events.h"

namespace zq {

class ScriptDevices : public InputDevices {
 public:
  uint8_t KeyState(int vk) override { return keys_[static_cast<size_t>(vk & 255)]; }
  bool PollJoystick(int id, JoyInfoEx& record) override;

  void SetKey(int vk, uint8_t state) { keys_[static_cast<size_t>(vk)] = state; }
  // Sets word `word` of joystick `id`; the first `joy`/`button` of an id plugs it in.
  void SetWord(int id, int word, uint32_t value);
  void SetButton(int id, int number, bool down);
  void Unplug(int id) {
    Stick(id).plugged = false;
    Stick(id).mentioned = true;
  }
  void Plug(int id) {
    Stick(id).plugged = true;
    Stick(id).mentioned = true;
  }

 private:
  struct StickState {
    std::array<uint32_t, 11> words{};
    bool plugged = false;
    bool mentioned = false;  // plugged in once by joy/button; later only by plug
  };
  StickState& Stick(int id) { return sticks_[static_cast<size_t>(id)]; }
  void Mention(int id);
  std::array<uint8_t, 256> keys_{};
  std::array<StickState, 16> sticks_{};
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

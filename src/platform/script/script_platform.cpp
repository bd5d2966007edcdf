#include "platform/script/script_platform.h"

namespace zq {

bool ScriptDevices::PollJoystick(int id, JoyInfoEx& record) {
  if (id < 0 || id >= 16) return false;
  const StickState& s = StateOf({id, -1});
  if (!s.plugged) return false;
  for (int w = 0; w < JoyInfoEx::kWords; ++w) record.SetWord(w, s.words[static_cast<size_t>(w)]);
  return true;
}

int ScriptDevices::ListSticks(std::span<PresentStick> out) {
  size_t n = 0;
  for (int id = 0; id < 16 && n < out.size(); ++id) {
    const int d = attached_[static_cast<size_t>(id)];
    if (d >= 0) {
      out[n++] = {id, devices_[static_cast<size_t>(d)].identity};
    } else if (Stick(id).mentioned) {
      out[n++] = {id, StickIdentity{}};  // a stick of the id lines tells nothing of itself
    }
  }
  return static_cast<int>(n);
}

ScriptDevices::StickState& ScriptDevices::StateOf(Target t) {
  if (t.device < 0 && t.id >= 0) t.device = attached_[static_cast<size_t>(t.id)];
  if (t.device >= 0) return devices_[static_cast<size_t>(t.device)].state;
  return Stick(t.id);
}

void ScriptDevices::Mention(Target t) {
  StickState& s = StateOf(t);
  if (!s.mentioned) {
    s.mentioned = true;
    // a declared device is plugged in by attach, not by its first value
    if (t.device < 0 && (t.id < 0 || attached_[static_cast<size_t>(t.id)] < 0)) s.plugged = true;
  }
}

void ScriptDevices::SetWord(Target t, int word, uint32_t value) {
  Mention(t);
  StateOf(t).words[static_cast<size_t>(word)] = value;
}

void ScriptDevices::SetButton(Target t, int number, bool down) {
  Mention(t);
  uint32_t& buttons = StateOf(t).words[6];
  uint32_t bit = uint32_t{1} << (number - 1);
  buttons = down ? (buttons | bit) : (buttons & ~bit);
}

void ScriptDevices::Unplug(Target t) {
  StickState& s = StateOf(t);
  s.plugged = false;
  s.mentioned = true;
}

void ScriptDevices::Plug(Target t) {
  StickState& s = StateOf(t);
  s.plugged = true;
  s.mentioned = true;
}

std::optional<std::string> ScriptDevices::Declare(std::string_view key,
                                                  const StickIdentity& identity) {
  if (Find(key) >= 0) return "device '" + std::string(key) + "' is declared twice";
  if (devices_.size() >= kMaxDevices) {
    return "at most " + std::to_string(kMaxDevices) + " devices can be declared";
  }
  Device d;
  d.key = std::string(key);
  d.identity = identity;
  d.state.plugged = true;  // answers once attached
  d.state.mentioned = true;
  devices_.push_back(std::move(d));
  return std::nullopt;
}

int ScriptDevices::Find(std::string_view key) const {
  for (size_t i = 0; i < devices_.size(); ++i) {
    if (devices_[i].key == key) return static_cast<int>(i);
  }
  return -1;
}

std::optional<std::string> ScriptDevices::Attach(int device) {
  Device& d = devices_[static_cast<size_t>(device)];
  if (d.id >= 0) return "device '" + d.key + "' is attached already";
  for (int id = 0; id < 16; ++id) {
    // an id the id lines used stays theirs
    if (attached_[static_cast<size_t>(id)] >= 0 || Stick(id).mentioned) continue;
    attached_[static_cast<size_t>(id)] = device;
    d.id = id;
    sticksChanged_ = true;
    return std::nullopt;
  }
  return "no free joystick id for device '" + d.key + "'";
}

std::optional<std::string> ScriptDevices::Detach(int device) {
  Device& d = devices_[static_cast<size_t>(device)];
  if (d.id < 0) return "device '" + d.key + "' is not attached";
  attached_[static_cast<size_t>(d.id)] = -1;
  d.id = -1;
  sticksChanged_ = true;
  return std::nullopt;
}

SendResult ScriptSender::Send(const char* data, size_t size) {
  events_.Send(std::string_view(data, size));
  if (!socketExists_) {
    if (failSocket_) {
      failSocket_ = false;
      return {SendResult::Kind::noSocket, 0};
    }
    socketExists_ = true;
  }
  if (failSend_) {
    SendResult failure = *failSend_;
    failSend_.reset();
    return failure;
  }
  return real_ != nullptr ? real_->Send(data, size) : SendResult{};
}

}  // namespace zq

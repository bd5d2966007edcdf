#include "platform/script/script_platform.h"

namespace zq {

bool ScriptDevices::PollJoystick(int id, JoyInfoEx& record) {
  if (id < 0 || id >= 16) return false;
  const StickState& s = sticks_[static_cast<size_t>(id)];
  if (!s.plugged) return false;
  for (int w = 0; w < JoyInfoEx::kWords; ++w) record.SetWord(w, s.words[static_cast<size_t>(w)]);
  return true;
}

void ScriptDevices::Mention(int id) {
  StickState& s = Stick(id);
  if (!s.mentioned) {
    s.mentioned = true;
    s.plugged = true;
  }
}

void ScriptDevices::SetWord(int id, int word, uint32_t value) {
  Mention(id);
  Stick(id).words[static_cast<size_t>(word)] = value;
}

void ScriptDevices::SetButton(int id, int number, bool down) {
  Mention(id);
  uint32_t& buttons = Stick(id).words[6];
  uint32_t bit = uint32_t{1} << (number - 1);
  buttons = down ? (buttons | bit) : (buttons & ~bit);
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

// The sender behind the window's UDP component.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zq {

// The simulator's port on 127.0.0.1, where every command message goes.
constexpr uint16_t kCommandPort = 21100;

struct SendResult {
  enum class Kind : uint8_t {
    ok,
    noSocket,      // the socket cannot be created
    optionFailed,  // switching off broadcast failed with `code`
    sendFailed,    // sendto failed with `code`
    shortSend,     // fewer bytes accepted than the message has
  };
  Kind kind = Kind::ok;
  int32_t code = 0;  // Winsock error number where one applies
  bool Ok() const { return kind == Kind::ok; }
};

class DatagramSender {
 public:
  virtual ~DatagramSender() = default;
  // Sends `size` bytes as one datagram to 127.0.0.1:21100. The socket is
  // created at the first send and kept.
  virtual SendResult Send(const char* data, size_t size) = 0;
};

}  // namespace zq

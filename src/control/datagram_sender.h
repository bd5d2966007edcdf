// The sender behind the window's UDP component.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace zq {

// The simulator's port on 127.0.0.1, where every command message goes, and
// the address as the texts players read spell it.
constexpr uint16_t kCommandPort = 21100;
constexpr std::string_view kCommandAddress = "127.0.0.1:21100";

constexpr uint32_t PortOfAddress(std::string_view address) {
  uint32_t port = 0;
  for (char c : address.substr(address.rfind(':') + 1)) port = port * 10 + uint32_t(c - '0');
  return port;
}
static_assert(PortOfAddress(kCommandAddress) == kCommandPort);

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

// The command message: "R" followed by one segment per changed channel.
#pragma once

#include <cstdint>
#include <string_view>

#include "control/datagram_sender.h"
#include "control/fixed_text.h"

namespace zq {

constexpr size_t kBodyCapacity = 255;

// Channels in the order the tick appends them; the enum value is the bit
// used to remember a channel.
enum class Channel : uint8_t { throttle = 0, axisY, axisX, axisZ, trimY, trimX, trimZ, flaps };
int ChannelNumber(Channel c);  // 81, 87, 85, 89, 97, 95, 99, 83
inline uint8_t ChannelBit(Channel c) {
  return static_cast<uint8_t>(1u << static_cast<int>(c));
}

class MessageBody {
 public:
  void Clear() {
    text_.Clear();
    channels_ = 0;
  }
  // "/" channel "\" value: a count of hundredths in the short decimal form.
  void AppendHundredths(Channel c, int32_t hundredths);
  // The zero form of a trim channel routed into its axis: "/97\0".
  void AppendZero(Channel c);
  // A value already in its two-decimal form (throttle, flaps).
  void AppendText(Channel c, std::string_view valueText);

  bool Empty() const { return text_.Empty(); }
  std::string_view Text() const { return text_.View(); }
  uint8_t Channels() const { return channels_; }  // bits of the channels carried

 private:
  void AppendSegmentHead(Channel c);
  FixedText<kBodyCapacity> text_;
  uint8_t channels_ = 0;
};

// Short decimal form of v hundredths: 0 "0", 50 "0.5", -1 "-0.01", 120 "1.2".
template <size_t N>
void AppendShortDecimal(FixedText<N>& out, int32_t hundredths) {
  int64_t v = hundredths;
  if (v < 0) out.Append('-');
  uint64_t magnitude = static_cast<uint64_t>(v < 0 ? -v : v);
  out.AppendInt(static_cast<int64_t>(magnitude / 100));
  uint64_t cents = magnitude % 100;
  if (cents != 0) {
    out.Append('.');
    out.Append(static_cast<char>('0' + cents / 10));
    if (cents % 10 != 0) out.Append(static_cast<char>('0' + cents % 10));
  }
}

// Two-decimal form of throttle / 55 - 1 for throttle 0..110: "-1.00".."1.00".
FixedText<16> ThrottleText(int32_t throttle);

// Error text of a failed send, as raised to the error report.
FixedText<96> SendFailureText(const SendResult& result);

// Description of a Winsock error code, "" for codes outside the table.
std::string_view SocketErrorDescription(int32_t code);

// The whole command message "R" + body.
FixedText<kBodyCapacity + 1> CommandMessage(const MessageBody& body);

}  // namespace zq

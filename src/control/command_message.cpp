#include "control/command_message.h"

namespace zq {

int ChannelNumber(Channel c) {
  static constexpr int kNumbers[] = {81, 87, 85, 89, 97, 95, 99, 83};
  return kNumbers[static_cast<int>(c)];
}

void MessageBody::AppendSegmentHead(Channel c) {
  text_.Append('/');
  text_.AppendInt(ChannelNumber(c));
  text_.Append('\\');
  channels_ = static_cast<uint8_t>(channels_ | ChannelBit(c));
}

void MessageBody::AppendHundredths(Channel c, int32_t hundredths) {
  AppendSegmentHead(c);
  AppendShortDecimal(text_, hundredths);
}

void MessageBody::AppendZero(Channel c) {
  AppendSegmentHead(c);
  text_.Append('0');
}

void MessageBody::AppendText(Channel c, std::string_view valueText) {
  AppendSegmentHead(c);
  text_.Append(valueText);
}

FixedText<16> ThrottleText(int32_t throttle) {
  // throttle / 55 - 1 in hundredths is 20 (throttle - 55) / 11; it never lies
  // halfway between two hundredths, so rounding the exact quotient is exact
  int64_t n = int64_t{20} * (int64_t{throttle} - 55);
  int64_t q = n / 11, rem = n % 11;
  if (rem * 2 > 11) ++q;
  if (rem * 2 < -11) --q;
  FixedText<16> out;
  if (q < 0) out.Append('-');
  uint64_t magnitude = static_cast<uint64_t>(q < 0 ? -q : q);
  out.AppendInt(static_cast<int64_t>(magnitude / 100));
  out.Append('.');
  out.Append(static_cast<char>('0' + magnitude % 100 / 10));
  out.Append(static_cast<char>('0' + magnitude % 10));
  return out;
}

std::string_view SocketErrorDescription(int32_t code) {
  switch (code) {
    case 10004:
      return "Interrupted system call.";
    case 10009:
      return "Bad file number.";
    case 10013:
      return "Access denied.";
    case 10014:
      return "Bad address.";
    case 10022:
      return "Invalid argument.";
    case 10024:
      return "Too many open files.";
    case 10035:
      return "Operation would block. ";
    case 10036:
      return "Operation now in progress.";
    case 10037:
      return "Operation already in progress.";
    case 10038:
      return "Socket operation on non-socket.";
    case 10039:
      return "Destination address required.";
    case 10040:
      return "Message too long.";
    case 10041:
      return "Protocol wrong type for socket.";
    case 10042:
      return "Bad protocol option.";
    case 10043:
      return "Protocol not supported.";
    case 10044:
      return "Socket type not supported.";
    case 10045:
      return "Operation not supported on socket.";
    case 10046:
      return "Protocol family not supported.";
    case 10047:
      return "Address family not supported by protocol family.";
    case 10048:
      return "Address already in use.";
    case 10049:
      return "Cannot assign requested address.";
    case 10050:
      return "Network is down.";
    case 10051:
      return "Network is unreachable.";
    case 10052:
      return "Net dropped connection or reset.";
    case 10053:
      return "Software caused connection abort.";
    case 10054:
      return "Connection reset by peer.";
    case 10055:
      return "No buffer space available.";
    case 10056:
      return "Socket is already connected.";
    case 10057:
      return "Socket is not connected.";
    case 10058:
      return "Cannot send or receive after socket is closed.";
    case 10059:
      return "Too many references, cannot splice.";
    case 10060:
      return "Connection timed out.";
    case 10061:
      return "Connection refused.";
    case 10062:
      return "Too many levels of symbolic links.";
    case 10063:
      return "File name too long.";
    case 10064:
      return "Host is down.";
    case 10065:
      return "No route to host.";
    case 10066:
      return "Directory not empty";
    default:
      return "";
  }
}

FixedText<96> SendFailureText(const SendResult& result) {
  FixedText<96> out;
  switch (result.kind) {
    case SendResult::Kind::ok:
      break;
    case SendResult::Kind::noSocket:
      out.Append("Cannot allocate socket.");
      break;
    case SendResult::Kind::shortSend:
      out.Append("Not all bytes sent.");
      break;
    case SendResult::Kind::sendFailed:
      if (result.code == 10040) {
        out.Append("Package Size Too Big.");
        break;
      }
      [[fallthrough]];
    case SendResult::Kind::optionFailed:
      out.Append("Socket Error # ");
      out.AppendInt(result.code);
      out.Append("\r\n");
      out.Append(SocketErrorDescription(result.code));
      break;
  }
  return out;
}

FixedText<kBodyCapacity + 1> CommandMessage(const MessageBody& body) {
  FixedText<kBodyCapacity + 1> out;
  out.Append('R');
  out.Append(body.Text());
  return out;
}

}  // namespace zq

#include "zq_listen/message_decode.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>

#include "control/command_message.h"
#include "control/control_state.h"

namespace zq::listen {
namespace {

constexpr size_t kLongestMessage = 1 + kBodyCapacity;

struct ChannelInfo {
  Channel channel;
  const char* name;
};

// In the order the panel appends them.
constexpr std::array<ChannelInfo, 8> kChannels = {{
    {Channel::throttle, "throttle"},
    {Channel::axisY, "pitch"},
    {Channel::axisX, "roll"},
    {Channel::axisZ, "yaw"},
    {Channel::trimY, "pitch trim"},
    {Channel::trimX, "roll trim"},
    {Channel::trimZ, "yaw trim"},
    {Channel::flaps, "flaps"},
}};

int OrderOf(int number) {
  for (size_t i = 0; i < kChannels.size(); ++i) {
    if (ChannelNumber(kChannels[i].channel) == number) return static_cast<int>(i);
  }
  return -1;
}

// The value of a short decimal text in hundredths, if it is one the panel
// could have written: exactly the text AppendShortDecimal gives.
std::optional<int32_t> ShortDecimal(std::string_view text, std::string& problem) {
  size_t i = text.size() > 0 && text[0] == '-' ? 1 : 0;
  int64_t whole = 0, cents = 0;
  size_t digits = 0, decimals = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9' && digits < 12; ++i, ++digits) {
    whole = whole * 10 + (text[i] - '0');
  }
  if (i < text.size() && text[i] == '.') {
    for (++i; i < text.size() && text[i] >= '0' && text[i] <= '9' && decimals < 2; ++i) {
      cents = cents * 10 + (text[i] - '0');
      ++decimals;
    }
    if (decimals == 1) cents *= 10;
  }
  int64_t value = whole * 100 + cents;
  if (text[0] == '-') value = -value;
  if (digits == 0 || i != text.size() || value < INT32_MIN || value > INT32_MAX) {
    problem = "'" + Printable(text, 40) + "' is not a number in hundredths";
    return std::nullopt;
  }
  FixedText<32> canonical;
  AppendShortDecimal(canonical, static_cast<int32_t>(value));
  if (canonical.View() != text) {
    problem = "'" + Printable(text, 40) + "' is not in the panel's short form, which writes '" +
              std::string(canonical.View()) + "'";
  }
  return static_cast<int32_t>(value);
}

std::string DecodeValue(const ChannelInfo& info, std::string_view value, std::string& problem) {
  std::string name = info.name;
  std::string shown = Printable(value, 40);
  switch (info.channel) {
    case Channel::throttle:
      for (int32_t t = 0; t <= 110; ++t) {
        if (ThrottleText(t).View() == value)
          return name + " " + std::to_string(t) + " (" + shown + ")";
      }
      problem = "'" + shown + "' is no throttle text (throttle / 55 - 1 in two decimals, 0..110)";
      return name + " ? (" + shown + ")";
    case Channel::flaps:
      for (size_t row = 0; row < kFlapTable.size(); ++row) {
        if (kFlapTable[row].command == value)
          return name + " " + std::string(kFlapTable[row].meaning) + " (" + shown + ")";
      }
      problem = "'" + shown + "' is no flap command (-1.00, -0.60, -0.34 or 1.00)";
      return name + " ? (" + shown + ")";
    case Channel::trimY:
    case Channel::trimX:
    case Channel::trimZ:
      // the zero form and a trim of 0 read the same
      if (value == "0") return name + " 0 (routed into axis, or at 0)";
      [[fallthrough]];
    default:
      if (ShortDecimal(value, problem)) return name + " " + shown;
      return name + " ? (" + shown + ")";
  }
}

}  // namespace

std::string Printable(std::string_view bytes, size_t maxChars) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (char c : bytes) {
    if (out.size() >= maxChars) {
      out += "...";
      break;
    }
    unsigned char u = static_cast<unsigned char>(c);
    if (u >= 32 && u < 127) {
      out += c;
    } else {
      out += "\\x";
      out += kHex[u >> 4];
      out += kHex[u & 15];
    }
  }
  return out;
}

DecodedMessage DecodeMessage(std::string_view d) {
  DecodedMessage m;
  if (d.size() > kLongestMessage) {
    m.problems.push_back(std::to_string(d.size()) + " bytes: longer than any command message (" +
                         std::to_string(kLongestMessage) + " at most)");
  }
  if (d.empty() || d[0] != 'R') {
    m.problems.push_back("does not start with R");
  } else if (d.size() == 1) {
    m.problems.push_back("a lone R: the panel sends nothing when nothing changed");
  }
  size_t pos = (!d.empty() && d[0] == 'R') ? 1 : 0;
  int lastOrder = -1;
  std::array<bool, kChannels.size()> seen{};
  while (pos < d.size()) {
    size_t next = d.find('/', pos + 1);
    if (next == std::string_view::npos) next = d.size();
    std::string_view segment = d.substr(pos, next - pos);
    size_t at = pos;
    pos = next;
    bool shaped = segment.size() >= 4 && segment[0] == '/' && segment[1] >= '0' &&
                  segment[1] <= '9' && segment[2] >= '0' && segment[2] <= '9' && segment[3] == '\\';
    if (!shaped) {
      m.problems.push_back("at byte " + std::to_string(at) + ": '" + Printable(segment, 40) +
                           "' is not a segment /NN\\value");
      continue;
    }
    int number = (segment[1] - '0') * 10 + (segment[2] - '0');
    int order = OrderOf(number);
    if (order < 0) {
      m.problems.push_back("channel " + std::to_string(number) + " is not one the panel sends");
      continue;
    }
    const ChannelInfo& info = kChannels[static_cast<size_t>(order)];
    if (seen[static_cast<size_t>(order)]) {
      m.problems.push_back("channel " + std::to_string(number) + " (" + info.name + ") twice");
    } else if (order < lastOrder) {
      m.problems.push_back("channel " + std::to_string(number) + " (" + info.name +
                           ") out of order: the panel sends 81 87 85 89 97 95 99 83");
    }
    seen[static_cast<size_t>(order)] = true;
    lastOrder = std::max(lastOrder, order);
    std::string problem;
    std::string_view value = segment.substr(4);
    if (value.empty()) {
      m.channels.push_back(std::string(info.name) + " ?");
      m.problems.push_back("channel " + std::to_string(number) + " has no value");
      continue;
    }
    m.channels.push_back(DecodeValue(info, value, problem));
    if (!problem.empty()) {
      m.problems.push_back("channel " + std::to_string(number) + ": " + problem);
    }
  }
  return m;
}

}  // namespace zq::listen

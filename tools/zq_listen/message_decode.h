// A command message taken apart: each channel by name and value, and every
// place where the text leaves the message grammar.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zq::listen {

struct DecodedMessage {
  std::vector<std::string> channels;  // "throttle 60 (0.09)", "pitch -0.37"
  std::vector<std::string> problems;  // empty when the text follows the grammar
};

DecodedMessage DecodeMessage(std::string_view datagram);

// The datagram as one line of text: bytes outside printable ASCII as \xNN.
std::string Printable(std::string_view bytes, size_t maxChars = 512);

}  // namespace zq::listen

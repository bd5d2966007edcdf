#include "zq_listen/message_decode.h"

#include <gtest/gtest.h>

#include <string>

namespace zq::listen {
namespace {

std::string Channels(const DecodedMessage& m) {
  std::string s;
  for (const std::string& c : m.channels) s += (s.empty() ? "" : ", ") + c;
  return s;
}

TEST(DecodeMessage, NamesEveryChannelOfWellFormedMessages) {
  struct Case {
    std::string datagram;
    std::string channels;
  };
  const Case cases[] = {
      {"R/81\\0.09/87\\-0.37/89\\0.05/83\\-0.60",
       "throttle 60 (0.09), pitch -0.37, yaw 0.05, flaps combat (-0.60)"},
      {"R/81\\-1.00", "throttle 0 (-1.00)"},
      {"R/81\\0.00/83\\1.00", "throttle 55 (0.00), flaps landing (1.00)"},
      {"R/81\\1.00/83\\-0.34", "throttle 110 (1.00), flaps take-off (-0.34)"},
      {"R/83\\-1.00", "flaps retracted (-1.00)"},
      {"R/85\\0.05/89\\-0.02/97\\0.2/95\\0/99\\0",
       "roll 0.05, yaw -0.02, pitch trim 0.2, roll trim 0 (routed into axis, or at 0), "
       "yaw trim 0 (routed into axis, or at 0)"},
      {"R/87\\1", "pitch 1"},
      {"R/87\\-1.2", "pitch -1.2"},
      {"R/95\\0.19", "roll trim 0.19"},
  };
  for (const Case& c : cases) {
    DecodedMessage m = DecodeMessage(c.datagram);
    EXPECT_EQ(Channels(m), c.channels) << c.datagram;
    EXPECT_TRUE(m.problems.empty()) << c.datagram << ": " << m.problems.front();
  }
}

TEST(DecodeMessage, FlagsWhatLeavesTheGrammar) {
  struct Case {
    std::string datagram;
    std::string problem;  // a part of the first problem
  };
  const Case cases[] = {
      {"", "does not start with R"},
      {"R", "a lone R"},
      {"X/87\\1", "does not start with R"},
      {"R/87\\0.50", "short form, which writes '0.5'"},
      {"R/87\\00.5", "short form, which writes '0.5'"},
      {"R/87\\-0", "short form, which writes '0'"},
      {"R/87\\1e2", "not a number in hundredths"},
      {"R/87\\0.123", "not a number in hundredths"},
      {"R/87\\", "has no value"},
      {"R/81\\0.01", "no throttle text"},
      {"R/81\\0.1", "no throttle text"},
      {"R/83\\0.50", "no flap command"},
      {"R/86\\1", "channel 86 is not one the panel sends"},
      {"R/89\\1/87\\1", "out of order"},
      {"R/87\\1/87\\2", "twice"},
      {"R87\\1", "not a segment"},
      {"R/8\\1", "not a segment"},
      {"R/87-1", "not a segment"},
      {std::string("R/87\\1\0", 7), "not a number in hundredths"},
      {"R" + std::string(300, '/'), "longer than any command message"},
  };
  for (const Case& c : cases) {
    DecodedMessage m = DecodeMessage(c.datagram);
    ASSERT_FALSE(m.problems.empty()) << Printable(c.datagram);
    EXPECT_NE(m.problems.front().find(c.problem), std::string::npos)
        << Printable(c.datagram) << ": " << m.problems.front();
  }
}

TEST(Printable, EscapesEveryByteOutsidePrintableAscii) {
  EXPECT_EQ(Printable("R/87\\1"), "R/87\\1");
  EXPECT_EQ(Printable(std::string("a\0\xff\n", 4)), "a\\x00\\xFF\\x0A");
  EXPECT_EQ(Printable(std::string(10, 'x'), 4), "xxxx...");
}

}  // namespace
}  // namespace zq::listen

#include "control/command_message.h"

#include <gtest/gtest.h>

#include <string>

namespace zq {
namespace {

std::string Short(int32_t v) {
  FixedText<32> t;
  AppendShortDecimal(t, v);
  return std::string(t.View());
}

TEST(CommandMessage, ShortDecimalForm) {
  const std::pair<int32_t, const char*> cases[] = {{0, "0"},
                                                   {100, "1"},
                                                   {-100, "-1"},
                                                   {50, "0.5"},
                                                   {-50, "-0.5"},
                                                   {5, "0.05"},
                                                   {-1, "-0.01"},
                                                   {37, "0.37"},
                                                   {120, "1.2"},
                                                   {123, "1.23"},
                                                   {-200, "-2"},
                                                   {-5, "-0.05"},
                                                   {-37, "-0.37"},
                                                   {99999, "999.99"},
                                                   {INT32_MIN, "-21474836.48"},
                                                   {INT32_MAX, "21474836.47"}};
  for (auto [v, text] : cases) EXPECT_EQ(Short(v), text) << v;
}

TEST(CommandMessage, ThrottleTwoDecimalForm) {
  const std::pair<int32_t, const char*> cases[] = {
      {0, "-1.00"}, {2, "-0.96"}, {10, "-0.82"}, {54, "-0.02"}, {55, "0.00"},
      {56, "0.02"}, {60, "0.09"}, {100, "0.82"}, {110, "1.00"}, {50, "-0.09"}};
  for (auto [t, text] : cases) EXPECT_EQ(ThrottleText(t).View(), text) << t;
  // every throttle agrees with rounding the real quotient
  for (int t = 0; t <= 110; ++t) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%.2f", t / 55.0 - 1);
    std::string expected = buf;
    if (expected == "-0.00") expected = "0.00";
    EXPECT_EQ(ThrottleText(t).View(), expected) << t;
  }
}

TEST(CommandMessage, WorkedExampleBody) {
  MessageBody body;
  body.AppendText(Channel::throttle, ThrottleText(60).View());
  body.AppendHundredths(Channel::axisY, -37);
  body.AppendHundredths(Channel::axisZ, 5);
  body.AppendText(Channel::flaps, "-0.60");
  EXPECT_EQ(CommandMessage(body).View(), "R/81\\0.09/87\\-0.37/89\\0.05/83\\-0.60");
  EXPECT_EQ(CommandMessage(body).Size(), 35u);
  EXPECT_EQ(body.Channels(), ChannelBit(Channel::throttle) | ChannelBit(Channel::axisY) |
                                 ChannelBit(Channel::axisZ) | ChannelBit(Channel::flaps));
  MessageBody zero;
  zero.AppendZero(Channel::trimX);
  EXPECT_EQ(CommandMessage(zero).View(), "R/95\\0");
}

TEST(CommandMessage, BodyIsCutAt255Characters) {
  MessageBody body;
  for (int i = 0; i < 30; ++i) body.AppendHundredths(Channel::axisY, INT32_MIN);
  EXPECT_EQ(body.Text().size(), 255u);
  EXPECT_EQ(CommandMessage(body).Size(), 256u);
}

TEST(CommandMessage, SendFailureTexts) {
  using K = SendResult::Kind;
  EXPECT_EQ(SendFailureText({K::noSocket, 0}).View(), "Cannot allocate socket.");
  EXPECT_EQ(SendFailureText({K::shortSend, 0}).View(), "Not all bytes sent.");
  EXPECT_EQ(SendFailureText({K::sendFailed, 10040}).View(), "Package Size Too Big.");
  EXPECT_EQ(SendFailureText({K::optionFailed, 10040}).View(),
            "Socket Error # 10040\r\nMessage too long.");
  EXPECT_EQ(SendFailureText({K::sendFailed, 10054}).View(),
            "Socket Error # 10054\r\nConnection reset by peer.");
  EXPECT_EQ(SendFailureText({K::sendFailed, 10035}).View(),
            "Socket Error # 10035\r\nOperation would block. ");
  EXPECT_EQ(SendFailureText({K::sendFailed, 10066}).View(),
            "Socket Error # 10066\r\nDirectory not empty");
  EXPECT_EQ(SendFailureText({K::sendFailed, 2147483647}).View(), "Socket Error # 2147483647\r\n");
  EXPECT_EQ(SendFailureText({K::sendFailed, 0}).View(), "Socket Error # 0\r\n");
}

TEST(CommandMessage, EveryTableCodeHasADescription) {
  for (int32_t code : {10004, 10009, 10013, 10014, 10022, 10024}) {
    EXPECT_FALSE(SocketErrorDescription(code).empty()) << code;
  }
  for (int32_t code = 10035; code <= 10066; ++code) {
    EXPECT_FALSE(SocketErrorDescription(code).empty()) << code;
  }
  for (int32_t code : {10000, 10005, 10034, 10067, -1}) {
    EXPECT_TRUE(SocketErrorDescription(code).empty()) << code;
  }
}

}  // namespace
}  // namespace zq

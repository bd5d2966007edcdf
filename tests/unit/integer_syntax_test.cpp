#include "config/integer_syntax.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace zq {
namespace {

struct IntCase {
  std::string text;
  std::optional<int32_t> settings;  // ParseSettingsInt
  std::optional<int32_t> binding;   // ParseBindingInt
};

TEST(IntegerSyntax, BothSyntaxesAgreeExceptOnLongHex) {
  const IntCase cases[] = {
      {"0", 0, 0},
      {"42", 42, 42},
      {"  42", 42, 42},
      {"+7", 7, 7},
      {"-0", 0, 0},
      {"2147483647", 2147483647, 2147483647},
      {"-2147483648", INT32_MIN, INT32_MIN},
      {"2147483648", std::nullopt, std::nullopt},
      {"-2147483649", std::nullopt, std::nullopt},
      {"99999999999999999999", std::nullopt, std::nullopt},
      {"0000000000005", 5, 5},
      {"$1F", 31, 31},
      {"$1f", 31, 31},
      {"x10", 16, 16},
      {"X10", 16, 16},
      {"0x20", 32, 32},
      {"0X20", 32, 32},
      {"$FFFFFFFF", -1, -1},
      {"-$10", -16, -16},
      {"-$80000000", INT32_MIN, INT32_MIN},
      {"$100000000", std::nullopt, std::nullopt},
      // more than eight hex digits: only the binding syntax takes them
      {"$000000001", std::nullopt, 1},
      {"", std::nullopt, std::nullopt},
      {"   ", std::nullopt, std::nullopt},
      {"-", std::nullopt, std::nullopt},
      {"+-5", std::nullopt, std::nullopt},
      {"$", std::nullopt, std::nullopt},
      {"0x", std::nullopt, std::nullopt},
      {"5 ", std::nullopt, std::nullopt},
      {"5x", std::nullopt, std::nullopt},
      {"00x5", std::nullopt, std::nullopt},
      {"\t5", std::nullopt, std::nullopt},
      {"1.5", std::nullopt, std::nullopt},
      {"JOY", std::nullopt, std::nullopt},
      {std::string("1\0", 2), std::nullopt, std::nullopt},
  };
  for (const IntCase& c : cases) {
    EXPECT_EQ(ParseSettingsInt(c.text), c.settings) << "settings: '" << c.text << "'";
    EXPECT_EQ(ParseBindingInt(c.text), c.binding) << "binding: '" << c.text << "'";
  }
}

}  // namespace
}  // namespace zq

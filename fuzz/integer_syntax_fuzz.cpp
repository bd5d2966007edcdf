// Both integer syntaxes on any text, each against a reference written the
// plain way (std::from_chars on the digits); then what the panel does with
// such numbers: trim mix, limit, the short decimal form and the error texts.
#include <charconv>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "config/integer_syntax.h"
#include "control/command_message.h"
#include "control/curve_math.h"
#include "kit/fakes.h"
#include "kit/invariants.h"

namespace {

enum class Syntax { settings, binding };

std::optional<int32_t> Reference(std::string_view s, Syntax syntax) {
  size_t i = s.find_first_not_of(' ');
  if (i == std::string_view::npos) return std::nullopt;
  s.remove_prefix(i);
  bool negative = s[0] == '-';
  if (s[0] == '-' || s[0] == '+') s.remove_prefix(1);
  size_t prefix = 0;
  if (s.starts_with("$") || s.starts_with("x") || s.starts_with("X")) prefix = 1;
  if (s.starts_with("0x") || s.starts_with("0X")) prefix = 2;
  std::string_view digits = s.substr(prefix);
  if (digits.empty()) return std::nullopt;
  int base = prefix != 0 ? 16 : 10;
  for (char c : digits) {
    bool ok = (c >= '0' && c <= '9') ||
              (base == 16 && ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')));
    if (!ok) return std::nullopt;
  }
  uint64_t value = 0;
  auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
  if (ec != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
  if (base == 16) {
    if (value > 0xFFFFFFFFu) return std::nullopt;
    if (syntax == Syntax::settings && digits.size() > 8) return std::nullopt;
    uint32_t pattern = static_cast<uint32_t>(value);
    return static_cast<int32_t>(negative ? ~pattern + 1u : pattern);
  }
  int64_t v = negative ? -static_cast<int64_t>(value) : static_cast<int64_t>(value);
  if (value > 2147483648u || v < INT32_MIN || v > INT32_MAX) return std::nullopt;
  return static_cast<int32_t>(v);
}

// Round-half-even of p / 100, computed in doubles: p / 100.0 is correctly
// rounded and no quotient that is not a tie lies near enough to one to move.
int32_t ReferenceTrimMix(int32_t axis, int32_t trim) {
  int64_t h = trim / 2;
  int64_t s = axis > 0 ? 100 - h : 100 + h;
  int32_t p = static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(axis * s)));
  double q = std::nearbyint(p / 100.0);
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<int64_t>(q) + h));
}

// The short decimal form read back: it must give the value it was made from.
std::optional<int64_t> ReadShortDecimal(std::string_view t) {
  bool negative = !t.empty() && t[0] == '-';
  if (negative) t.remove_prefix(1);
  size_t dot = t.find('.');
  std::string_view whole = t.substr(0, dot);
  std::string_view frac = dot == std::string_view::npos ? "" : t.substr(dot + 1);
  if (whole.empty() || (whole.size() > 1 && whole[0] == '0')) return std::nullopt;
  if (dot != std::string_view::npos && (frac.empty() || frac.size() > 2 || frac.back() == '0'))
    return std::nullopt;
  int64_t w = 0, f = 0;
  if (std::from_chars(whole.data(), whole.data() + whole.size(), w).ptr !=
      whole.data() + whole.size())
    return std::nullopt;
  if (!frac.empty()) {
    std::from_chars(frac.data(), frac.data() + frac.size(), f);
    if (frac.size() == 1) f *= 10;
  }
  int64_t v = w * 100 + f;
  if (negative && v == 0) return std::nullopt;  // no "-0"
  return negative ? -v : v;
}

void UseNumber(int32_t v, int32_t other) {
  ZQ_KIT_CHECK(zq::TrimMix(v, other) == ReferenceTrimMix(v, other));
  ZQ_KIT_CHECK(zq::TrimMix(other, v) == ReferenceTrimMix(other, v));
  int32_t bound = v < 0 ? (v == INT32_MIN ? INT32_MAX : -v) : v;
  int32_t limited = zq::Limit(other, bound);
  ZQ_KIT_CHECK(limited >= -bound && limited <= bound);

  zq::FixedText<32> text;
  zq::AppendShortDecimal(text, v);
  ZQ_KIT_CHECK(ReadShortDecimal(text.View()) == std::optional<int64_t>(v));

  zq::MessageBody body;
  body.AppendHundredths(zq::Channel::axisY, v);
  body.AppendHundredths(zq::Channel::trimZ, other);
  ZQ_KIT_CHECK(zq::test::IsMessageGrammar(zq::CommandMessage(body).View()));

  zq::FixedText<96> failure = zq::SendFailureText({zq::SendResult::Kind::sendFailed, v});
  ZQ_KIT_CHECK(!failure.Empty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  std::optional<int32_t> settings = zq::ParseSettingsInt(text);
  std::optional<int32_t> binding = zq::ParseBindingInt(text);
  ZQ_KIT_CHECK(settings == Reference(text, Syntax::settings));
  ZQ_KIT_CHECK(binding == Reference(text, Syntax::binding));
  // whatever the settings syntax takes, the binding syntax takes too
  if (settings) ZQ_KIT_CHECK(binding == settings);

  int32_t other = static_cast<int32_t>(zq::test::HashBytes(text));
  if (settings) UseNumber(*settings, other);
  if (binding) UseNumber(*binding, other);
  return 0;
}

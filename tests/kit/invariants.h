// What holds whatever the settings, the devices and the sends: the one set
// of invariants that the bad-input test, the settings-load fuzz target, the
// soak and the limits all check. Each check returns "" or what broke.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/tform1.h"
#include "config/curve_bank.h"
#include "control/control_state.h"

namespace zq::test {

// The ranges of the values a tick keeps, from any state it starts in.
std::string ControlInvariants(const ControlState& c);
// The same, plus the pitch trim button (within its range unless power set
// it to starttrim) and the curve bank as a load leaves it.
std::string StateInvariants(const ControlState& c, const CurveBank& bank);
// What a tick recorded against the state before it: totals are their two
// parts, the sent copies are what the axes and the previous totals give.
std::string TickInvariants(const ControlState& prev, const ControlState& c);
// StateInvariants and the paint box's columns within the panel.
std::string FormInvariants(const TForm1& form);

// The whole way from a settings text: the load (ending in one of its two
// ways), then `ticks` ticks with devices shaken from `seed` and sends failing
// at random, every invariant and every datagram checked after each tick.
std::string LoadAndShake(std::string_view ini, uint64_t seed, int ticks = 12);

// "R" then segments "/" two digits "\" value, the value being digits with an
// optional leading '-' and an optional '.' followed by digits.
bool IsMessageGrammar(std::string_view m);

// The channels in the order a message carries them.
constexpr std::array<int, 8> kChannelOrder = {81, 87, 85, 89, 97, 95, 99, 83};
struct Segment {
  int order = 0;  // index in kChannelOrder
  std::string_view value;
};
// "R" then segments "/NN\value" in channel order, each channel at most once;
// `why` says what is wrong when it is not.
bool SplitMessage(std::string_view m, std::vector<Segment>& out, std::string& why);
// Two-decimal form: "-1.00", "0.09"; its value in hundredths.
std::optional<int64_t> ReadTwoDecimal(std::string_view t);
// Short decimal form: "0", "-0.05", "1.2"; its value in hundredths.
std::optional<int64_t> ReadShortDecimal(std::string_view t);

}  // namespace zq::test

// The state the control tick owns.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "control/status_view.h"

namespace zq {

struct ControlState {
  int32_t axisY = 0, axisX = 0, axisZ = 0;
  int32_t trimYBtn = 0, trimXBtn = 0, trimZBtn = 0;
  int32_t trimYAxis = 0, trimXAxis = 0, trimZAxis = 0;
  int32_t trimYTotal = 0, trimXTotal = 0, trimZTotal = 0;
  int32_t sentY = 0, sentX = 0, sentZ = 0;
  int32_t throttle = 0;
  int32_t throttleStep = 0;
  int32_t sentThrottle = 0;
  int32_t flaps = 0;
  int32_t sentFlaps = 0;
  int32_t startTrim = 0;
  int32_t startFlaps = 0;
  int32_t fireTime1 = 0;
  int32_t fireTime2 = 0;
  bool useTrim = false;
  bool useYTrim = false;
  bool chatMode = false;
  // Channels of a message whose send failed: they go out again in the next
  // message with their current values, until a send succeeds.
  uint8_t resendChannels = 0;
};

struct FlapRow {
  std::string_view text;  // UTF-8, with its trailing blanks
  Rgb background;
  std::string_view command;  // two-decimal form of the command value
  std::string_view meaning;  // the text in English, for the tools' reports
};

extern const std::array<FlapRow, 4> kFlapTable;

// What xp shows in chat mode, and its meaning for the tools' reports.
constexpr std::string_view kChatText = "Чат";
constexpr std::string_view kChatMeaning = "chat";

}  // namespace zq

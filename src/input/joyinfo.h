// The joystick record, laid out as the platform's JOYINFOEX (52 bytes).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace zq {

struct JoyInfoEx {
  uint32_t dwSize = 0;
  uint32_t dwFlags = 0;
  uint32_t dwXpos = 0;
  uint32_t dwYpos = 0;
  uint32_t dwZpos = 0;
  uint32_t dwRpos = 0;
  uint32_t dwUpos = 0;
  uint32_t dwVpos = 0;
  uint32_t dwButtons = 0;
  uint32_t dwButtonNumber = 0;
  uint32_t dwPOV = 0;
  uint32_t dwReserved1 = 0;
  uint32_t dwReserved2 = 0;

  static constexpr int kWords = 11;  // the words after dwSize and dwFlags
  // Word `index` (0 X .. 10 dwReserved2) of the record; index must be 0..10.
  uint32_t Word(int index) const;
  void SetWord(int index, uint32_t value);
};
static_assert(sizeof(JoyInfoEx) == 52, "JOYINFOEX is 52 bytes");
static_assert(offsetof(JoyInfoEx, dwReserved2) == 48, "the words follow each other");

// The record's six axes by their letters, word 0 to 5: the names players
// and the tools give them.
constexpr std::string_view kAxisLetters = "XYZRUV";

constexpr uint32_t kJoyReturnAll = 255;
constexpr uint32_t kPovCentered = 65535;

// The eleven words lie one after another from dwXpos on: copy them by offset.
inline uint32_t JoyInfoEx::Word(int index) const {
  uint32_t v;
  std::memcpy(&v, reinterpret_cast<const char*>(this) + offsetof(JoyInfoEx, dwXpos) + 4 * index,
              sizeof v);
  return v;
}

inline void JoyInfoEx::SetWord(int index, uint32_t value) {
  std::memcpy(reinterpret_cast<char*>(this) + offsetof(JoyInfoEx, dwXpos) + 4 * index, &value,
              sizeof value);
}

}  // namespace zq

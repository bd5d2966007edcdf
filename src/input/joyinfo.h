// The joystick record, laid out as the platform's JOYINFOEX (52 bytes).
#pragma once

#include <cstddef>
#include <cstdint>

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

constexpr uint32_t kJoyReturnAll = 255;
constexpr uint32_t kPovCentered = 65535;

inline uint32_t JoyInfoEx::Word(int index) const {
  const uint32_t* words[kWords] = {&dwXpos, &dwYpos,      &dwZpos,     &dwRpos,
                                   &dwUpos, &dwVpos,      &dwButtons,  &dwButtonNumber,
                                   &dwPOV,  &dwReserved1, &dwReserved2};
  return *words[index];
}

inline void JoyInfoEx::SetWord(int index, uint32_t value) {
  uint32_t* words[kWords] = {&dwXpos, &dwYpos,      &dwZpos,     &dwRpos,
                             &dwUpos, &dwVpos,      &dwButtons,  &dwButtonNumber,
                             &dwPOV,  &dwReserved1, &dwReserved2};
  *words[index] = value;
}

}  // namespace zq

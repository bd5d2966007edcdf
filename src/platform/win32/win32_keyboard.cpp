#include "platform/win32/win32_keyboard.h"

#include <windows.h>

namespace zq {

int32_t Win32KeyCharMap::VirtualKeyOfChar(unsigned char c) const {
  // The core upper-cases a..z only; national letters of the ANSI code page
  // are upper-cased here, before their code is taken as a virtual key.
  char upper[2] = {static_cast<char>(c), '\0'};
  CharUpperBuffA(upper, 1);
  UINT vk = static_cast<unsigned char>(upper[0]);
  return static_cast<int32_t>(MapVirtualKeyA(vk, MAPVK_VK_TO_CHAR));
}

}  // namespace zq

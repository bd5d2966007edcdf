// The keyboard layout's character of a virtual key, for key-text bindings.
#pragma once

#include "config/binding.h"

namespace zq {

// MapVirtualKeyA with map type 2, asked with the character's code as the
// virtual-key code: a binding such as "~" names the key whose unshifted
// character that is on the player's layout.
class Win32KeyCharMap : public KeyCharMap {
 public:
  int32_t VirtualKeyOfChar(unsigned char c) const override;
};

}  // namespace zq

// An SDL virtual flight stick (6 axes, 32 buttons, one hat). It exists only
// inside the process that makes it: the panel's test stick and the tests of
// the joystick layer and the configurator plug it in.
#pragma once

#include <SDL.h>

namespace zq {

// Attaches and opens the stick; null (with SDL_GetError()) when SDL cannot.
// SDL's joystick subsystem must be started first. `index` gets the device
// index SDL gave it (negative when attaching failed).
inline SDL_Joystick* OpenVirtualStick(const char* name, int* index = nullptr, Uint16 vendor = 0,
                                      Uint16 product = 0) {
  SDL_VirtualJoystickDesc desc;
  SDL_zero(desc);
  desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
  desc.type = SDL_JOYSTICK_TYPE_FLIGHT_STICK;
  desc.naxes = 6;
  desc.nbuttons = 32;
  desc.nhats = 1;
  desc.vendor_id = vendor;
  desc.product_id = product;
  desc.name = name;
  const int at = SDL_JoystickAttachVirtualEx(&desc);
  if (index != nullptr) *index = at;
  return at >= 0 ? SDL_JoystickOpen(at) : nullptr;
}

}  // namespace zq

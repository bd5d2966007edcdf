// An SDL virtual flight stick (6 axes, 32 buttons, one hat) for the
// configurator's tests; it exists only inside the process that makes it.
#pragma once

#include <SDL.h>

namespace zq::testkit {

// Attaches and opens the stick; null (with SDL_GetError()) when SDL cannot.
// SDL's joystick subsystem must be started first.
inline SDL_Joystick* OpenVirtualStick(const char* name, int* index = nullptr) {
  SDL_VirtualJoystickDesc desc;
  SDL_zero(desc);
  desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
  desc.type = SDL_JOYSTICK_TYPE_FLIGHT_STICK;
  desc.naxes = 6;
  desc.nbuttons = 32;
  desc.nhats = 1;
  desc.name = name;
  int at = SDL_JoystickAttachVirtualEx(&desc);
  if (index != nullptr) *index = at;
  return at >= 0 ? SDL_JoystickOpen(at) : nullptr;
}

}  // namespace zq::testkit

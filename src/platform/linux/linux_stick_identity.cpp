#include "platform/linux/linux_stick_identity.h"

#include <SDL.h>
#include <libudev.h>
#include <sys/stat.h>

#include <charconv>

namespace zq {
namespace {

std::string Property(udev_device* device, const char* key) {
  const char* value = udev_device_get_property_value(device, key);
  return value != nullptr ? value : "";
}

bool Hex16(const std::string& text, uint16_t& out) {
  unsigned v = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v, 16);
  if (ec != std::errc() || end != text.data() + text.size() || text.empty() || v > 0xFFFF) {
    return false;
  }
  out = static_cast<uint16_t>(v);
  return true;
}

}  // namespace

bool ReadUdevStickFacts(const std::string& devnode, UdevStickFacts& facts) {
  facts = {};
  struct stat st {};
  if (devnode.empty() || ::stat(devnode.c_str(), &st) != 0 || !S_ISCHR(st.st_mode)) return false;
  udev* context = udev_new();
  if (context == nullptr) return false;
  udev_device* device = udev_device_new_from_devnum(context, 'c', st.st_rdev);
  if (device == nullptr) {
    udev_unref(context);
    return false;
  }
  facts.vendor = Property(device, "ID_VENDOR_ID");
  facts.model = Property(device, "ID_MODEL_ID");
  facts.serial = Property(device, "ID_SERIAL_SHORT");
  facts.path = Property(device, "ID_PATH");
  facts.bus = Property(device, "ID_BUS");
  udev_device_unref(device);
  udev_unref(context);
  return true;
}

StickIdentity LinuxStickIdentity(SDL_Joystick* stick, bool* bluetooth) {
  StickIdentity id;
  if (bluetooth != nullptr) *bluetooth = false;
  if (stick == nullptr) return id;
  id.vendor = SDL_JoystickGetVendor(stick);
  id.product = SDL_JoystickGetProduct(stick);
  if (const char* name = SDL_JoystickName(stick)) id.name.Append(name);
  if (const char* serial = SDL_JoystickGetSerial(stick)) id.serial.Append(serial);
  const char* node = SDL_JoystickPath(stick);
  UdevStickFacts facts;
  if (node != nullptr && ReadUdevStickFacts(node, facts)) {
    uint16_t v = 0;
    if (Hex16(facts.vendor, v)) id.vendor = v;
    if (Hex16(facts.model, v)) id.product = v;
    if (!facts.serial.empty()) {
      id.serial.Clear();
      id.serial.Append(facts.serial);
    }
    id.path.Append(facts.path);
    if (bluetooth != nullptr) *bluetooth = facts.bus == "bluetooth";
  }
  return id;
}

}  // namespace zq

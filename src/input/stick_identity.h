// What tells one joystick from another, and the [sticks] lines of Setup.ini
// that pin an id to a device:
//
//   0=044f:b10a "Flight Stick" serial=0A1B2C
//   1=044f:b10a "Flight Stick" path=pci-0000:00:14.0-usb-0:3:1.0
//   2=06a3:0763 "Pedals"
//
// VID:PID in hex, the name in double quotes (it runs to the line's last
// quote, so a name may hold quotes itself), then serial=, path= (the USB
// port as udev's ID_PATH gives it) and guid= (the DirectInput instance
// GUID), each optional, in any order.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "control/fixed_text.h"

namespace zq {

// Room for any name, serial, port path or GUID a device reports; a longer
// one is cut, on both sides of a comparison alike.
constexpr size_t kStickTextChars = 128;
using StickText = FixedText<kStickTextChars>;

struct StickIdentity {
  uint16_t vendor = 0;  // 0:0 when the system did not say
  uint16_t product = 0;
  StickText name, serial, path, guid;

  bool HasIds() const { return vendor != 0 || product != 0; }
};

// The section and its keys: "0" to "15".
constexpr std::string_view kSticksSection = "sticks";

// Reads one pin's value; the error says what is wrong in words a player can
// act on.
std::optional<std::string> ParseStickPin(std::string_view text, StickIdentity& out);

// The value that pins this device: what zq-probe prints and what
// ParseStickPin reads back to the same identity. A serial, path or GUID that
// holds a blank or a quote cannot be written in a line and is left out.
std::string FormatStickPin(const StickIdentity& device);

// The pin zq-probe offers for a device: its serial when it has one (the
// device itself, in whatever port it is plugged), else its port path; its
// instance GUID where the system gives one.
std::string PinLineFor(const StickIdentity& device);

// "044f:b10a".
std::string VidPidText(const StickIdentity& device);

}  // namespace zq

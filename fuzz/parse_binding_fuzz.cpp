// ParseBinding on any text, then every test of a binding on the record it
// made: nothing is read outside the key and joystick tables. The same text
// as a [sticks] pin: what it reads is written back to the same pin, and the
// matching over twins of it never gives one device to two ids.
#include <string>
#include <string_view>

#include "config/binding.h"
#include "config/integer_syntax.h"
#include "input/sampling.h"
#include "input/stick_match.h"
#include "kit/fakes.h"

namespace {

// A key map that answers with any number, as a platform's layout might.
class WildKeyMap : public zq::KeyCharMap {
 public:
  int32_t VirtualKeyOfChar(unsigned char c) const override { return c * 3 - 200; }
};

std::string Upper(std::string_view text) {
  std::string u(text);
  for (char& c : u) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  }
  return u;
}

// A device like the pin, or one field off.
zq::StickIdentity Twin(const zq::StickIdentity& pin, zq::test::Mixer& mix) {
  zq::StickIdentity d = pin;
  switch (mix.Below(6)) {
    case 0:
      d.serial.Clear();
      break;
    case 1:
      d.path.Clear();
      d.path.Append(mix.Below(2) ? "usb-1" : "usb-2");
      break;
    case 2:
      d.serial.Append('x');
      break;
    case 3:
      d.product = static_cast<uint16_t>(d.product + 1);
      break;
    case 4:
      d = zq::StickIdentity{};
      break;
    default:
      break;
  }
  return d;
}

void CheckStickPin(std::string_view text, zq::test::Mixer& mix) {
  zq::StickIdentity pin;
  std::optional<std::string> error = zq::ParseStickPin(text, pin);
  if (error) {
    ZQ_KIT_CHECK(!error->empty());
    return;
  }
  ZQ_KIT_CHECK(pin.HasIds());
  // A name may hold any byte but its own line end; the fields written back
  // are those a line can hold.
  const std::string line = zq::FormatStickPin(pin);
  zq::StickIdentity again;
  if (line.find_first_of("\r\n") == std::string::npos) {
    ZQ_KIT_CHECK(!zq::ParseStickPin(line, again));
    ZQ_KIT_CHECK(zq::FormatStickPin(again) == line);
  }
  zq::StickPins pins;
  std::vector<zq::PresentStick> present;
  for (int id = 0; id < zq::kJoystickCount; ++id) {
    if (mix.Below(3) == 0) {
      pins.pinned[static_cast<size_t>(id)] = true;
      pins.device[static_cast<size_t>(id)] = mix.Below(2) ? pin : Twin(pin, mix);
    }
    if (mix.Below(2) == 0) present.push_back({static_cast<int>(mix.Below(17)), Twin(pin, mix)});
  }
  zq::StickMap map;
  zq::MatchSticks(pins, present, map);
  uint32_t given = 0;
  for (int id = 0; id < zq::kJoystickCount; ++id) {
    const size_t i = static_cast<size_t>(id);
    const int slot = map.slot[i];
    ZQ_KIT_CHECK(slot >= -1 && slot < zq::kJoystickCount);
    ZQ_KIT_CHECK(pins.pinned[i] == (map.state[i] != zq::PinState::unpinned));
    if (slot < 0) continue;
    ZQ_KIT_CHECK((given >> slot & 1) == 0);  // one device, one id
    given |= 1u << slot;
    if (map.state[i] != zq::PinState::found) continue;
    bool fits = false;
    for (const zq::PresentStick& p : present) {
      if (p.slot == slot) {
        fits = zq::PinFits(pins.device[i], p.identity);
        break;  // the first device listed under an id is the one read
      }
    }
    ZQ_KIT_CHECK(fits);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  zq::test::Mixer mix(zq::test::HashBytes(text));
  CheckStickPin(text, mix);
  const zq::Binding before{7, 9, true, false, true};

  for (int map = 0; map < 2; ++map) {
    zq::Binding b = before;
    zq::BindingForm form = zq::BindingForm::numeric;
    std::optional<zq::BindingError> error =
        map == 0 ? zq::ParseBinding(text, b, zq::NoKeyCharMap(), &form)
                 : zq::ParseBinding(text, b, WildKeyMap(), &form);
    switch (form) {
      case zq::BindingForm::empty:
        ZQ_KIT_CHECK(!error);
        ZQ_KIT_CHECK(b.device == before.device && b.code == before.code);
        break;
      case zq::BindingForm::keyText:
        ZQ_KIT_CHECK(!error && b.device == zq::kKeyboard);
        if (map == 0) ZQ_KIT_CHECK(b.code >= 0 && b.code <= 255);
        break;
      case zq::BindingForm::numeric: {
        // the numeric form never touches the flags
        ZQ_KIT_CHECK(b.ctrl == before.ctrl && b.alt == before.alt && b.shift == before.shift);
        if (error) {
          ZQ_KIT_CHECK(!error->offending.empty());
          ZQ_KIT_CHECK(Upper(text).find(error->offending) != std::string::npos);
          ZQ_KIT_CHECK(!zq::ParseBindingInt(error->offending).has_value());
          std::string message = error->Message();
          ZQ_KIT_CHECK(message.size() == error->offending.size() + 31);
        }
        break;
      }
    }

    // Whatever the record holds, the tests stay inside the tables.
    zq::KeySet watched;
    zq::WatchBindingKeys(b, watched);
    zq::JoySet used;
    used.Add(b.device);
    zq::BindingTable table{};
    for (zq::Binding& slot : table) slot = b;
    zq::InputSnapshot input;
    for (uint8_t& k : input.keyNow) k = static_cast<uint8_t>(mix.Next());
    for (uint8_t& k : input.keyPrev) k = static_cast<uint8_t>(mix.Next());
    for (zq::JoyInfoEx& rec : input.joyInfo) {
      for (int w = 0; w < zq::JoyInfoEx::kWords; ++w) {
        uint64_t r = mix.Next();
        rec.SetWord(w, (r & 1) ? static_cast<uint32_t>(r >> 32) : static_cast<uint32_t>(r >> 48));
      }
    }
    for (uint32_t& p : input.joyPrevButtons) p = static_cast<uint32_t>(mix.Next());
    zq::BindingContext ctx{table, input, mix.Below(2) == 0};
    for (int slot = 0; slot < zq::kSlotCount; ++slot) {
      (void)zq::IsPressed(slot, ctx);
      (void)zq::IsHeld(slot, ctx);
    }
    int32_t reading = zq::ReadAxis(b, input);
    bool inTables = b.device >= 0 && b.device < 16 && b.code >= 0 && b.code <= 10;
    if (!inTables) ZQ_KIT_CHECK(reading == 0);
    if (inTables && input.joyInfo[static_cast<size_t>(b.device)].Word(b.code) <= 65535) {
      ZQ_KIT_CHECK(reading >= -1000 && reading <= 1000);
    }
  }
  return 0;
}

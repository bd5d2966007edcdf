// Binding records, the slot table and the binding text grammar.
#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zq {

class SettingsLookup;

constexpr int32_t kKeyboard = -1;
constexpr int kSlotCount = 25;
constexpr int kJoystickCount = 16;

struct Binding {
  int32_t device = 0;  // -1 keyboard, 0..15 joystick id
  int32_t code = 0;    // virtual key, button number from 1, or record word index
  bool ctrl = false;
  bool alt = false;
  bool shift = false;
  // An empty setting leaves the record as it was but binds the slot to
  // nothing: it is never pressed or held and reads 0.
  bool unbound = false;
};

using BindingTable = std::array<Binding, kSlotCount>;

// Binding slots by their setting keys, in load order. Kept in a namespace
// of their own so that words like `fire` and `chat` stay out of zq; they
// still convert to int to index the binding table.
namespace slots {
enum Slot : int {
  trimbtn,
  usetrim,
  useYtrim,
  trimXbtn,
  trimZbtn,
  fire,
  Fire2,
  Fire12,
  chat,
  power,
  curveup,
  curvedown,
  resetbtn,
  flapsup,
  flapsdown,
  Yaxis,
  TrimAxis,
  Xaxis,
  Zaxis,
  TrimXAxis,
  TrimZAxis,
  IncZtrim,
  DecZtrim,
  PowerMinus,
  PowerPlus
};
}  // namespace slots
using slots::Slot;

enum class SlotTest { pressed, held, axis };

struct SlotInfo {
  std::string_view key;
  std::string_view defaultText;
  SlotTest test;
};

extern const std::array<SlotInfo, kSlotCount> kSlotTable;

// 256-bit set of virtual-key codes.
struct KeySet {
  std::array<uint64_t, 4> words{};
  void Add(int32_t code) {
    if (code >= 0 && code <= 255)
      words[static_cast<size_t>(code) >> 6] |= uint64_t{1} << (code & 63);
  }
  bool Contains(int32_t code) const {
    return code >= 0 && code <= 255 && ((words[static_cast<size_t>(code) >> 6] >> (code & 63)) & 1);
  }
  template <typename F>
  void ForEach(F&& f) const {
    for (int w = 0; w < 4; ++w) {
      for (uint64_t bits = words[static_cast<size_t>(w)]; bits != 0; bits &= bits - 1) {
        f(w * 64 + std::countr_zero(bits));
      }
    }
  }
};

// 16-bit set of joystick ids.
struct JoySet {
  uint16_t bits = 0;
  void Add(int32_t id) {
    if (id >= 0 && id < kJoystickCount) bits = static_cast<uint16_t>(bits | (1u << id));
  }
  bool Contains(int32_t id) const { return id >= 0 && id < kJoystickCount && ((bits >> id) & 1); }
};

// The platform's unshifted character mapping (map type 2 of the key mapping
// call): which virtual key a character names, 0 when none. Asked only for
// characters other than letters, digits and the punctuation table.
class KeyCharMap {
 public:
  virtual ~KeyCharMap() = default;
  virtual int32_t VirtualKeyOfChar(unsigned char c) const = 0;
};

// A mapping that knows no further characters (the scripted platform's).
class NoKeyCharMap : public KeyCharMap {
 public:
  int32_t VirtualKeyOfChar(unsigned char) const override { return 0; }
};

// Virtual key of the punctuation table ("`-=/,.;[\]'"), or -1.
int32_t PunctuationKey(unsigned char c);

// The text in a conversion error: "'%s' is not a valid integer value".
std::string ConversionErrorMessage(std::string_view offending);

struct BindingError {
  std::string offending;  // upper-cased, stripped and split as parsed
  std::string Message() const { return ConversionErrorMessage(offending); }
};

enum class BindingForm { numeric, keyText, empty };

// Parses `text` into `b` in place; fields the form does not set keep their
// value. An empty text (after stripping) leaves the record untouched.
// Returns the error of a malformed number (the device may already be stored).
std::optional<BindingError> ParseBinding(std::string_view text, Binding& b,
                                         const KeyCharMap& keyMap, BindingForm* form = nullptr);

// Adds the binding's key and its modifier keys to `watchedKeys`.
void WatchBindingKeys(const Binding& b, KeySet& watchedKeys);

struct BindingLoadError {
  int slot = 0;
  BindingError error;
};

// Reads and parses the 25 slots in order, filling `joyUsed` and
// `watchedKeys`. Stops at the first conversion error.
std::optional<BindingLoadError> LoadBindings(const SettingsLookup& settings,
                                             const KeyCharMap& keyMap, BindingTable& bindings,
                                             KeySet& watchedKeys, JoySet& joyUsed);

}  // namespace zq

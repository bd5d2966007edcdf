#include "config/binding.h"

#include "config/ascii.h"
#include "config/curve_bank.h"
#include "config/integer_syntax.h"
#include "config/settings_file.h"

namespace zq {

constexpr std::array<SlotInfo, kSlotCount> kSlotTable = {{
    {"trimbtn", "0 0", SlotTest::pressed},   {"usetrim", "0 0", SlotTest::pressed},
    {"useYtrim", "0 0", SlotTest::pressed},  {"trimXbtn", "0 0", SlotTest::pressed},
    {"trimZbtn", "0 0", SlotTest::pressed},  {"fire", "0 0", SlotTest::held},
    {"Fire2", "0 0", SlotTest::held},        {"Fire12", "0 0", SlotTest::held},
    {"chat", "-1 192", SlotTest::pressed},   {"power", "-1 73", SlotTest::pressed},
    {"curveup", "0 0", SlotTest::pressed},   {"curvedown", "0 0", SlotTest::pressed},
    {"resetbtn", "0 0", SlotTest::pressed},  {"flapsup", "0 0", SlotTest::pressed},
    {"flapsdown", "0 0", SlotTest::pressed}, {"Yaxis", "0 1", SlotTest::axis},
    {"TrimAxis", "-1 0", SlotTest::axis},    {"Xaxis", "-1 0", SlotTest::axis},
    {"Zaxis", "-1 0", SlotTest::axis},       {"TrimXAxis", "-1 0", SlotTest::axis},
    {"TrimZAxis", "-1 0", SlotTest::axis},   {"IncZtrim", "0 0", SlotTest::pressed},
    {"DecZtrim", "0 0", SlotTest::pressed},  {"PowerMinus", "0 0", SlotTest::held},
    {"PowerPlus", "0 0", SlotTest::held},
}};

// The slots are read by index: each key must sit at its own Slot's place.
#define ZQ_SLOT_AT(name) (kSlotTable[slots::name].key == #name)
static_assert(ZQ_SLOT_AT(trimbtn) && ZQ_SLOT_AT(usetrim) && ZQ_SLOT_AT(useYtrim) &&
              ZQ_SLOT_AT(trimXbtn) && ZQ_SLOT_AT(trimZbtn) && ZQ_SLOT_AT(fire) &&
              ZQ_SLOT_AT(Fire2) && ZQ_SLOT_AT(Fire12) && ZQ_SLOT_AT(chat) && ZQ_SLOT_AT(power) &&
              ZQ_SLOT_AT(curveup) && ZQ_SLOT_AT(curvedown) && ZQ_SLOT_AT(resetbtn) &&
              ZQ_SLOT_AT(flapsup) && ZQ_SLOT_AT(flapsdown) && ZQ_SLOT_AT(Yaxis) &&
              ZQ_SLOT_AT(TrimAxis) && ZQ_SLOT_AT(Xaxis) && ZQ_SLOT_AT(Zaxis) &&
              ZQ_SLOT_AT(TrimXAxis) && ZQ_SLOT_AT(TrimZAxis) && ZQ_SLOT_AT(IncZtrim) &&
              ZQ_SLOT_AT(DecZtrim) && ZQ_SLOT_AT(PowerMinus) && ZQ_SLOT_AT(PowerPlus) &&
              slots::PowerPlus + 1 == kSlotCount);
#undef ZQ_SLOT_AT

int32_t PunctuationKey(unsigned char c) {
  static constexpr std::string_view kChars = "`-=/,.;[\\]'";
  static constexpr int32_t kKeys[] = {192, 189, 187, 191, 188, 190, 186, 219, 220, 221, 222};
  size_t i = kChars.find(static_cast<char>(c));
  return i == std::string_view::npos ? -1 : kKeys[i];
}

std::string ConversionErrorMessage(std::string_view offending) {
  std::string m = "'";
  m.append(offending);
  m.append("' is not a valid integer value");
  return m;
}

std::optional<BindingError> ParseBinding(std::string_view text, Binding& b,
                                         const KeyCharMap& keyMap, BindingForm* form) {
  // Upper-casing touches only a..z; bytes above 127 are kept as they are.
  std::string upper = AsciiUpper(text);
  std::string_view t = StripControls(upper);
  if (t.empty()) {
    if (form != nullptr) *form = BindingForm::empty;
    return std::nullopt;  // no last character to name a key: the slot stays unbound
  }

  size_t space = t.find(' ');
  if (space != std::string_view::npos) {
    if (form != nullptr) *form = BindingForm::numeric;
    std::string_view devText = t.substr(0, space);
    std::optional<int32_t> device = ParseBindingInt(devText);
    if (!device) return BindingError{std::string(devText)};
    b.device = *device;
    std::string_view codeText = t.substr(space + 1);
    std::optional<int32_t> code = ParseBindingInt(codeText);
    if (!code) return BindingError{std::string(codeText)};
    b.code = *code;
    return std::nullopt;
  }

  if (form != nullptr) *form = BindingForm::keyText;
  b.device = kKeyboard;
  b.ctrl = t.find("[CTRL]") != std::string_view::npos;
  b.alt = t.find("[ALT]") != std::string_view::npos;
  b.shift = t.find("[SHIFT]") != std::string_view::npos;
  unsigned char last = static_cast<unsigned char>(t.back());
  int32_t punct = PunctuationKey(last);
  if (punct >= 0) {
    b.code = punct;
  } else if ((last >= 'A' && last <= 'Z') || (last >= '0' && last <= '9')) {
    b.code = last;  // letter and digit keys have their character's code
  } else {
    b.code = keyMap.VirtualKeyOfChar(last);
  }
  return std::nullopt;
}

void WatchBindingKeys(const Binding& b, KeySet& watchedKeys) {
  if (b.device == kKeyboard) watchedKeys.Add(b.code);
  if (b.ctrl) watchedKeys.Add(17);
  if (b.alt) watchedKeys.Add(18);
  if (b.shift) watchedKeys.Add(16);
}

std::optional<BindingLoadError> LoadBindings(const SettingsLookup& settings,
                                             const KeyCharMap& keyMap, BindingTable& bindings,
                                             KeySet& watchedKeys, JoySet& joyUsed) {
  for (int s = 0; s < kSlotCount; ++s) {
    const SlotInfo& info = kSlotTable[static_cast<size_t>(s)];
    std::string text = settings.ReadText("main", info.key, info.defaultText);
    Binding& b = bindings[static_cast<size_t>(s)];
    BindingForm form = BindingForm::numeric;
    if (std::optional<BindingError> error = ParseBinding(text, b, keyMap, &form)) {
      return BindingLoadError{s, std::move(*error)};
    }
    if (form == BindingForm::empty) {
      b.unbound = true;
      continue;
    }
    b.unbound = false;
    joyUsed.Add(b.device);
    WatchBindingKeys(b, watchedKeys);
  }
  return std::nullopt;
}

}  // namespace zq

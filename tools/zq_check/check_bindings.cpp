// Bindings that end the load, that can never fire, or that fire together.
#include <map>
#include <optional>

#include "app/error_report.h"
#include "config/ascii.h"
#include "zq_check/binding_words.h"
#include "zq_check/check_steps.h"

namespace zq::check {
namespace {

const SlotInfo& Info(int slot) {
  return kSlotTable[static_cast<size_t>(slot)];
}

std::string Quoted(const SlotReport& slot, int s) {
  return std::string(Info(s).key) + " = '" + Shown(slot.text) + "'";
}

// "fire (line 5)" or "usetrim (default)".
std::string Member(const CheckResult& r, int s) {
  const SlotReport& slot = r.slots[static_cast<size_t>(s)];
  std::string where = slot.source == ValueSource::unloaded ? "not loaded"
                      : slot.line != 0                     ? "line " + std::to_string(slot.line)
                                                           : "default";
  return std::string(Info(s).key) + " (" + where + ")";
}

void CheckLoadError(const CheckResult& r, std::vector<Diagnostic>& out) {
  const BindingLoadError& e = *r.loadError;
  const SlotReport& slot = r.slots[static_cast<size_t>(e.slot)];
  std::string message = Quoted(slot, e.slot) + ": the panel shows the error box \"" +
                        std::string(MakeReportText(e.error.Message()).View()) +
                        "\" and stops loading here. The slot is left as " + slot.words + ".";
  if (e.slot + 1 < kSlotCount) {
    message += " The slots after it (" + std::string(Info(e.slot + 1).key) +
               (e.slot + 2 < kSlotCount ? " to PowerPlus" : "") +
               ") keep joystick 0, code 0 and add nothing to the polling.";
  }
  message +=
      " No curve is loaded, so every axis and trim axis gives 0 and there is no curve set to "
      "select; WindowX, WindowY, starttrim and startflaps stay 0 and the window keeps the place "
      "of its design.";
  out.push_back(
      Diagnostic{Severity::error, "load-error", slot.line, std::string(Info(e.slot).key), message});
}

// Slots that a single press of one joystick button triggers together.
void CheckSharedButtons(const CheckResult& r, std::vector<Diagnostic>& out) {
  std::map<std::pair<int32_t, int>, std::vector<int>> byButton;
  for (int s = 0; s < kSlotCount; ++s) {
    const Binding& b = r.settings.bindings[static_cast<size_t>(s)];
    if (b.unbound || Info(s).test == SlotTest::axis || b.device < 0 || b.device >= kJoystickCount) {
      continue;
    }
    if (!r.settings.joyUsed.Contains(b.device)) continue;  // never polled, never pressed
    byButton[{b.device, ButtonNumber(b.code)}].push_back(s);
  }
  for (const auto& [button, slots] : byButton) {
    if (slots.size() < 2) continue;
    std::string list;
    int line = 0;
    bool allDefault = true, someUnloaded = false;
    for (int s : slots) {
      const SlotReport& slot = r.slots[static_cast<size_t>(s)];
      list += (list.empty() ? "" : ", ") + Member(r, s);
      someUnloaded = someUnloaded || slot.source == ValueSource::unloaded;
      allDefault = allDefault && slot.source == ValueSource::fallback;
      // the lines of slots that are not loaded are never read
      if (slot.source != ValueSource::unloaded && slot.line != 0 &&
          (line == 0 || slot.line < line)) {
        line = slot.line;
      }
    }
    if (line == 0 && r.loadError) line = r.slots[static_cast<size_t>(r.loadError->slot)].line;
    std::string message = "joystick " + std::to_string(button.first) + ", button " +
                          std::to_string(button.second) + " triggers " +
                          std::to_string(slots.size()) + " slots at once: " + list;
    if (button == std::pair<int32_t, int>{0, 32}) {
      if (someUnloaded) {
        message +=
            ". The slots that are not loaded keep \"0 0\", which is this button; they get "
            "their own bindings once the load error is fixed";
      } else {
        message += allDefault ? ". \"0 0\" is the default of every button slot missing from the "
                                "file"
                              : ". \"0 0\", the default of a button slot missing from the file, "
                                "is this button";
        message += "; bind the slots you do not use to -1 0 (no key)";
      }
    }
    out.push_back(Diagnostic{Severity::warning, "shared-input", line,
                             std::string(Info(slots.front()).key), message});
  }
}

// Two keyboard slots fire together when they test the same key and either
// one is held (held ignores Ctrl, Alt and Shift) or both need the same chord.
bool KeysClash(const CheckResult& r, int a, int b) {
  const Binding& x = r.settings.bindings[static_cast<size_t>(a)];
  const Binding& y = r.settings.bindings[static_cast<size_t>(b)];
  if (x.code != y.code) return false;
  if (Info(a).test == SlotTest::held || Info(b).test == SlotTest::held) return true;
  return x.ctrl == y.ctrl && x.alt == y.alt && x.shift == y.shift;
}

void CheckSharedKeys(const CheckResult& r, std::vector<Diagnostic>& out) {
  std::vector<int> keys;
  for (int s = 0; s < kSlotCount; ++s) {
    const Binding& b = r.settings.bindings[static_cast<size_t>(s)];
    const SlotReport& slot = r.slots[static_cast<size_t>(s)];
    if (b.unbound || Info(s).test == SlotTest::axis || b.device != kKeyboard) continue;
    if (b.code <= 0 || b.code > 255 || LayoutCharOf(slot.text) != 0) continue;  // no real key
    keys.push_back(s);
  }
  // grow each group from its first slot over every slot that clashes with a member
  std::vector<bool> taken(keys.size(), false);
  for (size_t i = 0; i < keys.size(); ++i) {
    if (taken[i]) continue;
    std::vector<int> group{keys[i]};
    taken[i] = true;
    for (size_t g = 0; g < group.size(); ++g) {
      for (size_t j = i + 1; j < keys.size(); ++j) {
        if (!taken[j] && KeysClash(r, group[g], keys[j])) {
          taken[j] = true;
          group.push_back(keys[j]);
        }
      }
    }
    if (group.size() < 2) continue;
    std::string list;
    int line = 0;
    for (int s : group) {
      list += (list.empty() ? "" : ", ") + Member(r, s);
      int l = r.slots[static_cast<size_t>(s)].line;
      if (l != 0 && (line == 0 || l < line)) line = l;
    }
    const Binding& b = r.settings.bindings[static_cast<size_t>(group.front())];
    out.push_back(Diagnostic{Severity::warning, "shared-input", line,
                             std::string(Info(group.front()).key),
                             "key " + DescribeKey(b.code) + " triggers " +
                                 std::to_string(group.size()) + " slots at once: " + list});
  }
}

// "F5", "Enter", "Ctrl+P": the grammar has no key names, and the last
// character alone names the key, so these bind 5, R and P.
bool WarnKeyName(const CheckResult& r, int s, std::vector<Diagnostic>& out) {
  const SlotReport& slot = r.slots[static_cast<size_t>(s)];
  std::string_view text = StripControls(slot.text);
  if (text.find(' ') != std::string_view::npos) return false;  // the numeric form
  std::optional<KeyChord> chord = ChordOfKeyNameText(text);
  if (!chord) return false;
  const Binding& b = r.settings.bindings[static_cast<size_t>(s)];
  KeyChord bound{b.code, b.ctrl, b.alt, b.shift};
  std::string meant = ModifierWords(*chord) + VirtualKeyName(chord->vk);
  std::string write = BindingTextFor(*chord);
  KeyChord plain{chord->vk};
  if (BindingTextFor(plain).front() == '-' && (chord->ctrl || chord->alt || chord->shift)) {
    write += ", which is " + VirtualKeyName(chord->vk) +
             " alone: a key without a character takes no Ctrl, Alt or Shift";
  }
  out.push_back(Diagnostic{Severity::warning, "key-name", slot.line, std::string(Info(s).key),
                           Quoted(slot, s) +
                               ": binding texts have no key names; the last character names "
                               "the key, so this binds " +
                               ModifierWords(bound) + DescribeKey(b.code) + "; for " + meant +
                               " write " + write});
  return true;
}

// Key texts whose characters other than the last are ignored ("AB" is the B key).
void NoteKeyText(const CheckResult& r, int s, std::vector<Diagnostic>& out) {
  if (WarnKeyName(r, s, out)) return;
  const SlotReport& slot = r.slots[static_cast<size_t>(s)];
  std::string t = AsciiUpper(StripControls(slot.text));
  if (t.empty() || t.find(' ') != std::string::npos) return;
  bool endsInToken = false;
  for (std::string_view token : {"[CTRL]", "[ALT]", "[SHIFT]"}) {
    if (t.size() >= token.size() && t.compare(t.size() - token.size(), token.size(), token) == 0) {
      endsInToken = true;
    }
    for (size_t at; (at = t.find(token)) != std::string::npos;) t.erase(at, token.size());
  }
  std::erase(t, '+');
  std::string key = std::string(Info(s).key);
  if (endsInToken) {
    out.push_back(Diagnostic{Severity::note, "key-text", slot.line, key,
                             Quoted(slot, s) + ": the last character names the key, so this is "
                                               "the ] key; put the key after the modifier tokens"});
  } else if (t.size() > 1) {
    out.push_back(Diagnostic{Severity::note, "key-text", slot.line, key,
                             Quoted(slot, s) + ": only the last character names the key, " +
                                 DescribeKey(r.settings.bindings[static_cast<size_t>(s)].code) +
                                 "; keys without a character, such as F1, take the numeric "
                                 "form: -1 112"});
  }
}

void CheckEachSlot(const CheckResult& r, std::vector<Diagnostic>& out) {
  for (int s = 0; s < kSlotCount; ++s) {
    const SlotReport& slot = r.slots[static_cast<size_t>(s)];
    const Binding& b = r.settings.bindings[static_cast<size_t>(s)];
    std::string key(Info(s).key);
    if (slot.source == ValueSource::unloaded || slot.source == ValueSource::failed) continue;
    if (slot.source == ValueSource::empty) {
      out.push_back(Diagnostic{Severity::note, "empty-binding", slot.line, key,
                               key + " is empty: the slot is not bound and does nothing"});
      continue;
    }
    if (b.device == kKeyboard && (b.code < 0 || b.code > 255)) {
      out.push_back(Diagnostic{
          Severity::warning, "key-code-range", slot.line, key,
          Quoted(slot, s) + ": keyboard code " + std::to_string(b.code) + " is outside 0..255: " +
              (Info(s).test == SlotTest::axis ? "the axis always reads 0"
                                              : "the slot is never pressed and no key is watched") +
              " (virtual keys are 1 to 254)"});
    } else if (b.device < kKeyboard || b.device >= kJoystickCount) {
      out.push_back(Diagnostic{Severity::warning, "no-such-joystick", slot.line, key,
                               Quoted(slot, s) + ": " + slot.words});
    } else if (Info(s).test == SlotTest::axis && b.device != kKeyboard &&
               (b.code < 0 || b.code > 5)) {
      out.push_back(Diagnostic{
          Severity::warning, "axis-word", slot.line, key,
          Quoted(slot, s) + ": " + slot.words + "; the axes are words 0 to 5 (X Y Z R U V)"});
    }
    NoteKeyText(r, s, out);
  }
}

// Axis slots reading the same joystick axis move together.
void CheckSharedAxes(const CheckResult& r, std::vector<Diagnostic>& out) {
  std::map<std::pair<int32_t, int32_t>, std::vector<int>> byAxis;
  for (int s = 0; s < kSlotCount; ++s) {
    const Binding& b = r.settings.bindings[static_cast<size_t>(s)];
    if (b.unbound || Info(s).test != SlotTest::axis || !r.settings.joyUsed.Contains(b.device)) {
      continue;
    }
    if (b.code < 0 || b.code > 5) continue;
    if (r.slots[static_cast<size_t>(s)].source == ValueSource::unloaded) continue;
    byAxis[{b.device, b.code}].push_back(s);
  }
  for (const auto& [axis, slots] : byAxis) {
    if (slots.size() < 2) continue;
    std::string list;
    int line = 0;
    for (int s : slots) {
      list += (list.empty() ? "" : ", ") + Member(r, s);
      int l = r.slots[static_cast<size_t>(s)].line;
      if (l != 0 && (line == 0 || l < line)) line = l;
    }
    out.push_back(Diagnostic{Severity::note, "shared-axis", line,
                             std::string(Info(slots.front()).key),
                             r.slots[static_cast<size_t>(slots.front())].words + " drives " +
                                 std::to_string(slots.size()) + " axis slots: " + list});
  }
}

}  // namespace

void CheckBindings(const ProfileText& /*profile*/, CheckResult& r) {
  std::vector<Diagnostic> found;
  if (r.loadError) CheckLoadError(r, found);
  CheckEachSlot(r, found);
  CheckSharedButtons(r, found);
  CheckSharedKeys(r, found);
  CheckSharedAxes(r, found);
  r.diagnostics.insert(r.diagnostics.end(), found.begin(), found.end());
}

}  // namespace zq::check

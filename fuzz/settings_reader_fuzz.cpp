// The profile-file reader on any bytes: every lookup the settings load makes
// stays within its limits and agrees with the parsed file.
#include <string>
#include <string_view>
#include <vector>

#include "config/binding.h"
#include "config/settings_file.h"
#include "kit/fakes.h"

namespace {

using zq::EqualsNoCase;
using zq::ProfileText;

// The keys the load asks for, and a few the file itself names.
std::vector<std::string> KeysToAsk(const ProfileText& profile) {
  std::vector<std::string> keys;
  for (const zq::SlotInfo& slot : zq::kSlotTable) keys.emplace_back(slot.key);
  for (const char* k : {"Y", "X", "Z", "TrimY", "TrimX", "TrimZ", "WindowX", "WindowY", "starttrim",
                        "startflaps", "", " ", "="}) {
    keys.emplace_back(k);
  }
  for (char axis : {'Y', 'X', 'Z'}) {
    for (int k = 1; k <= 10; ++k) keys.push_back(std::string(1, axis) + std::to_string(k));
  }
  for (const ProfileText::Section& s : profile.Sections()) {
    for (size_t i = 0; i < s.entries.size() && i < 4; ++i) keys.emplace_back(s.entries[i].name);
  }
  return keys;
}

// Names the one read of the key list holds before `upTo` (exclusive).
size_t ListedChars(const ProfileText::Section& s, const ProfileText::Entry* upTo) {
  size_t chars = 0;
  for (const ProfileText::Entry& e : s.entries) {
    if (&e == upTo) break;
    if (e.hasValue && !e.name.empty()) chars += e.name.size() + 1;
  }
  return chars;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  zq::ProfileTextSettings settings(text);
  const ProfileText& profile = settings.Profile();

  int lastLine = 0;
  for (const ProfileText::Section& s : profile.Sections()) {
    ZQ_KIT_CHECK(s.line >= lastLine);
    lastLine = s.line;
    for (const ProfileText::Entry& e : s.entries) {
      ZQ_KIT_CHECK(e.line > lastLine || (e.line == lastLine && lastLine == 0));
      lastLine = e.line;
      ZQ_KIT_CHECK(e.hasValue || e.value.empty());
    }
  }
  ZQ_KIT_CHECK(static_cast<size_t>(lastLine) <= size);

  for (const char* section : {"main", "MAIN", " main ", "", "x"}) {
    size_t listed = 0;
    for (const std::string& name : profile.KeyList(section)) {
      ZQ_KIT_CHECK(!name.empty());
      listed += name.size() + 1;
    }
    ZQ_KIT_CHECK(listed + 1 <= zq::kKeyListChars);
    const ProfileText::Section* s = profile.FindSection(section);

    for (const std::string& key : KeysToAsk(profile)) {
      const std::string def = "\x01 default";
      std::string value = settings.ReadText(section, key, def);
      const ProfileText::Entry* e = profile.FindEntry(section, key);
      bool present = e != nullptr && e->hasValue;
      if (!present) {
        ZQ_KIT_CHECK(value == def);
      } else {
        ZQ_KIT_CHECK(value.size() <= zq::kMaxValueChars);
        ZQ_KIT_CHECK(e->value.find(value) != std::string::npos);
      }
      // The key list can cut a name at its limit, so a listed name may be a
      // cut longer one; a name listed whole is always found.
      bool has = settings.HasKey(section, key);
      if (present && !e->name.empty() && e->name == key &&
          ListedChars(*s, e) + key.size() + 2 < zq::kKeyListChars) {
        ZQ_KIT_CHECK(has);
      }
      if (has) ZQ_KIT_CHECK(s != nullptr);
      (void)zq::ReadInt(settings, section, key, -1);
    }
  }
  return 0;
}

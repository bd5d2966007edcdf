#include "zq_check/key_suggest.h"

#include <algorithm>

#include "config/ascii.h"
#include "config/binding.h"
#include "config/flight_axes.h"
#include "config/settings_file.h"
#include "config/settings_load.h"

namespace zq::check {
namespace {

std::vector<std::string> MakeKnownKeys() {
  std::vector<std::string> keys;
  for (const SlotInfo& slot : kSlotTable) keys.emplace_back(slot.key);
  for (const FlightAxis& axis : kFlightAxes) {
    for (int k = 0; k < kCurveSets; ++k) keys.push_back(CurveKey(axis.letter, k));
  }
  for (std::string_view key : kTrimCurveKeys) keys.emplace_back(key);
  for (const IntegerSetting& s : kIntegerSettings) keys.emplace_back(s.key);
  return keys;
}

}  // namespace

const std::vector<std::string>& KnownSettingKeys() {
  static const std::vector<std::string> keys = MakeKnownKeys();
  return keys;
}

bool IsKnownSettingKey(std::string_view key) {
  const auto& keys = KnownSettingKeys();
  return std::any_of(keys.begin(), keys.end(),
                     [&](const std::string& k) { return EqualsNoCase(k, key); });
}

bool LooksLikeCurveSetKey(std::string_view key) {
  if (key.size() < 2) return false;
  char axis = AsciiLower(key[0]);
  if (axis != 'x' && axis != 'y' && axis != 'z') return false;
  return std::all_of(key.begin() + 1, key.end(), [](char c) { return c >= '0' && c <= '9'; });
}

size_t EditDistance(std::string_view a, std::string_view b, size_t limit) {
  size_t gap = a.size() > b.size() ? a.size() - b.size() : b.size() - a.size();
  if (gap > limit) return limit + 1;  // also keeps a megabyte-long name cheap
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    size_t rowMin = row[0];
    for (size_t j = 1; j <= b.size(); ++j) {
      size_t above = row[j];
      size_t substitute = diagonal + (AsciiLower(a[i - 1]) == AsciiLower(b[j - 1]) ? 0 : 1);
      row[j] = std::min({above + 1, row[j - 1] + 1, substitute});
      diagonal = above;
      rowMin = std::min(rowMin, row[j]);
    }
    if (rowMin > limit) return limit + 1;
  }
  return std::min(row[b.size()], limit + 1);
}

std::string SuggestKey(std::string_view key) {
  // A third of the known key's length, at least one edit and at most three:
  // "PowerPluss" finds PowerPlus, while "colour" finds nothing.
  std::string best;
  size_t bestDistance = 0;
  for (const std::string& known : KnownSettingKeys()) {
    size_t limit = std::clamp<size_t>(known.size() / 3, 1, 3);
    size_t d = EditDistance(key, known, limit);
    // an edit for every character is a replacement, not a misspelling
    if (d > limit || d >= key.size() || d >= known.size()) continue;
    if (best.empty() || d < bestDistance) {
      best = known;
      bestDistance = d;
    }
  }
  return best;
}

}  // namespace zq::check

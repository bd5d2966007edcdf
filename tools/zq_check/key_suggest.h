// The keys of section "main" that the panel reads, and the nearest of them to
// a misspelt one.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zq::check {

// Every key the settings load can read, spelt as the panel documents them.
const std::vector<std::string>& KnownSettingKeys();

bool IsKnownSettingKey(std::string_view key);

// "X", "Y" or "Z" followed by digits: a curve-set key, whether or not its
// number can ever be read ("Y12", "X01").
bool LooksLikeCurveSetKey(std::string_view key);

// Edit distance (insertions, deletions, substitutions) ignoring letter case;
// stops counting at `limit` and returns limit + 1 beyond it.
size_t EditDistance(std::string_view a, std::string_view b, size_t limit);

// The known key closest to `key`, or "" when none is close enough to be a
// plausible misspelling.
std::string SuggestKey(std::string_view key);

}  // namespace zq::check

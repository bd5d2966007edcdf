// The steps of a check, each adding what it finds to the result.
#pragma once

#include <string>
#include <string_view>

#include "config/settings_file.h"
#include "zq_check/check_model.h"

namespace zq::check {

// A key or value as it may appear in a message: long ones are cut.
std::string Shown(std::string_view text);

void Add(CheckResult& r, Severity severity, std::string kind, int line, std::string_view key,
         std::string message);

// The line of the first entry of `key` in section "main" that has a value, 0 if none.
int LineOf(const ProfileText& profile, std::string_view key);

// Missing file, sections, repeated keys, unknown keys, start values.
// `text` is the file's bytes, looked at for UTF-16 without a byte-order mark.
void CheckFileLayout(const ProfileText& profile, const std::string& text, CheckResult& r);
// A missing file: an error when it was named on the command line, and the
// near misses beside it.
void ExplainMissingFile(CheckResult& r);
void CheckUnknownKeys(const ProfileText& profile, CheckResult& r);
void CheckStartValues(const ProfileText& profile, CheckResult& r);
// A panel that would not be fully visible on the screen of the options.
void CheckWindowPlace(const ProfileText& profile, CheckResult& r);

// The load-ending binding, keyboard codes, inputs shared by several slots.
void CheckBindings(const ProfileText& profile, CheckResult& r);

// The [sticks] pins: each in words, malformed lines, pins sharing a device,
// twins nothing tells apart, pins no binding uses.
void CheckSticks(const ProfileText& profile, CheckResult& r);

// Curve texts, the curve-set count and the keys it leaves unread.
void CheckCurves(const ProfileText& profile, CheckResult& r);

}  // namespace zq::check

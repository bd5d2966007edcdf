#include "config/settings_snapshot.h"

#include <cstdio>
#include <utility>

namespace zq {
namespace {

// The profile takes the bytes over: a large file is not held twice.
ProfileText Parse(SettingsFileText& file) {
  if (file.state != SettingsFileState::read) return ProfileText(std::string());
  return ProfileText(std::move(file.text));
}

}  // namespace

SettingsFileText SettingsFileFailure(SettingsFileState state, std::string detail) {
  SettingsFileText f;
  f.state = state;
  f.detail = std::move(detail);
  return f;
}

std::string SettingsFileCause(const SettingsFileText& file) {
  switch (file.state) {
    case SettingsFileState::read:
      return "";
    case SettingsFileState::missing:
      return "no such file";
    case SettingsFileState::directory:
      return "it is a directory";
    case SettingsFileState::notRegularFile:
      return "it is " + (file.detail.empty() ? std::string("special") : file.detail) +
             ", not a regular file";
    case SettingsFileState::permissionDenied:
      return "permission denied";
    case SettingsFileState::symlinkLoop:
      return "a loop of symbolic links";
    case SettingsFileState::tooLarge: {
      // One format rather than glued pieces: the compiler copies a glued
      // piece in overlapping blocks, which a reader of the program's strings
      // takes for misspelt words.
      char text[96];
      std::snprintf(text, sizeof text, "it is too large: %llu bytes, over the limit of %llu MiB",
                    static_cast<unsigned long long>(file.size),
                    static_cast<unsigned long long>(kSettingsFileLimit >> 20));
      return text;
    }
    case SettingsFileState::ioError:
      return "read error" + (file.detail.empty() ? std::string() : ": " + file.detail);
  }
  return "cannot be read";
}

SettingsSnapshot::SettingsSnapshot(std::string path, SettingsFileText file)
    : path_(std::move(path)),
      state_(file.state),
      cause_(SettingsFileCause(file)),
      profile_(Parse(file)) {}

std::string SettingsSnapshot::ReadText(std::string_view section, std::string_view key,
                                       std::string_view def) const {
  return ReadTextFrom(profile_, section, key, def);
}

bool SettingsSnapshot::HasKey(std::string_view section, std::string_view key) const {
  return HasKeyIn(profile_, section, key);
}

std::string SettingsSnapshot::Message() const {
  if (Read()) return "";
  return "cannot read the settings file '" + path_ + "': " + cause_ + "; running on the defaults";
}

}  // namespace zq

// What the settings editor's tests share: the corpus files, the reader's
// view of a whole file, and byte helpers for UTF-16 text.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "config/settings_file.h"

namespace zq::testkit {

// A source-tree path as this test program sees it (under wine: drive Z:).
inline std::string SourcePath(std::string path) {
#ifdef _WIN32
  if (!path.empty() && path.front() == '/') path = "Z:" + path;
#endif
  return path;
}

inline std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

// The Windows-reader comparison corpus and the example, name and bytes.
inline std::vector<std::pair<std::string, std::string>> SettingsCorpus() {
  std::vector<std::pair<std::string, std::string>> files;
  std::filesystem::path dir = SourcePath(ZQ_CORPUS_DIR);
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (entry.path().extension() == ".ini")
      files.emplace_back(entry.path().filename().string(), ReadBytes(entry.path()));
  }
  files.emplace_back("examples/Setup.ini", ReadBytes(SourcePath(ZQ_EXAMPLE_SETUP)));
  return files;
}

// ASCII text as UTF-16 with its byte-order mark.
inline std::string Utf16(const std::string& text, bool bigEndian) {
  std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
  for (char c : text) {
    char unit[2] = {c, '\0'};
    out += bigEndian ? std::string{unit[1], unit[0]} : std::string(unit, 2);
  }
  return out;
}

}  // namespace zq::testkit

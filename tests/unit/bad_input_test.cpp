// Whatever a settings file holds, the load and the ticks after it stay
// defined: no crash, nothing read outside a table, every invariant of the
// kit kept (the settings-load fuzz target runs the same checks on its own
// inputs).
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "kit/fakes.h"
#include "kit/invariants.h"

namespace zq {
namespace {

void LoadAndShake(const std::string& ini) {
  ASSERT_EQ(test::LoadAndShake(ini, test::HashBytes(ini)), "") << ini.substr(0, 400);
}

TEST(BadInput, RandomBytesAsTheSettingsFile) {
  std::mt19937 rng(7);
  for (int n = 0; n < 200; ++n) {
    std::string ini = "[main]\n";
    size_t size = rng() % 2000;
    for (size_t i = 0; i < size; ++i) ini += static_cast<char>(rng());
    LoadAndShake(ini);
  }
}

TEST(BadInput, RandomValuesForEveryKey) {
  static const char* kKeys[] = {
      "trimbtn",   "usetrim",  "useYtrim",   "trimXbtn",  "trimZbtn",  "fire",      "Fire2",
      "Fire12",    "chat",     "power",      "curveup",   "curvedown", "resetbtn",  "flapsup",
      "flapsdown", "Yaxis",    "TrimAxis",   "Xaxis",     "Zaxis",     "TrimXAxis", "TrimZAxis",
      "IncZtrim",  "DecZtrim", "PowerMinus", "PowerPlus", "Y",         "Y1",        "Y5",
      "Y9",        "X",        "X1",         "Z",         "Z2",        "TrimY",     "TrimX",
      "TrimZ",     "WindowX",  "WindowY",    "starttrim", "startflaps"};
  static const char* kTokens[] = {"-1",         "0",      "1",           "15",         "16",
                                  "255",        "256",    "-2147483648", "2147483647", "$FFFFFFFF",
                                  "0x7fffffff", "[CTRL]", "A",           " ",          "-",
                                  "10",         "11",     "-1000",       "x",          "$"};
  std::mt19937 rng(11);
  for (int n = 0; n < 400; ++n) {
    std::string ini = "[main]\n";
    for (const char* key : kKeys) {
      if (rng() % 3 == 0) continue;
      ini += key;
      ini += '=';
      int words = static_cast<int>(rng() % 4);
      for (int w = 0; w < words; ++w) ini += std::string(w ? " " : "") + kTokens[rng() % 20];
      ini += '\n';
    }
    LoadAndShake(ini);
  }
}

TEST(BadInput, HugeLinesAndNulBytes) {
  LoadAndShake("[main]\nY=" + std::string(1 << 20, '9') + "\n");
  LoadAndShake("[main]\nfire=" + std::string(1 << 20, ' ') + "1\n");
  LoadAndShake(std::string(1 << 20, '['));
  LoadAndShake(std::string("[main]\0\nY=0\0 50\nfire=0\0 1\n", 24));
}

}  // namespace
}  // namespace zq

// Whatever a settings file holds, the load and the ticks after it stay
// defined: no crash, nothing read outside a table.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "app/tick_driver.h"
#include "config/settings_file.h"
#include "fake_devices.h"

namespace zq {
namespace {

struct Quiet : ErrorReport {
  int reports = 0;
  void ReportError(std::string_view) override { ++reports; }
};

// Loads `ini` and runs a few ticks with every device at an extreme.
void LoadAndRun(const std::string& ini, std::mt19937& rng) {
  test::FakeDevices dev;
  test::RecordingView view;
  test::RecordingSender udp;
  CurveBank bank;
  TForm1 form(bank, dev, view, udp);
  Quiet report;
  CreateForm(form, ProfileTextSettings(ini), NoKeyCharMap(), {1920, 1080}, report);
  for (int t = 0; t < 8; ++t) {
    for (auto& k : dev.keys) k = static_cast<uint8_t>(rng());
    for (int id = 0; id < 16; ++id) {
      for (int w = 0; w < 11; ++w) dev.Axis(id, w, static_cast<uint32_t>(rng()));
    }
    RunTick(form, report);
    const ControlState& c = form.State().control;
    ASSERT_GE(c.throttle, 0);
    ASSERT_LE(c.throttle, 110);
    ASSERT_GE(c.flaps, 0);
    ASSERT_LE(c.flaps, 3);
    ASSERT_GE(form.Bank().curveIndex, 0);
    ASSERT_LT(form.Bank().curveIndex, form.Bank().curveCount > 0 ? form.Bank().curveCount : 1);
  }
  for (const std::string& sent : udp.sent) ASSERT_LE(sent.size(), 256u);
}

TEST(BadInput, RandomBytesAsTheSettingsFile) {
  std::mt19937 rng(7);
  for (int n = 0; n < 200; ++n) {
    std::string ini = "[main]\n";
    size_t size = rng() % 2000;
    for (size_t i = 0; i < size; ++i) ini += static_cast<char>(rng());
    LoadAndRun(ini, rng);
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
    LoadAndRun(ini, rng);
  }
}

TEST(BadInput, HugeLinesAndNulBytes) {
  std::mt19937 rng(3);
  LoadAndRun("[main]\nY=" + std::string(1 << 20, '9') + "\n", rng);
  LoadAndRun("[main]\nfire=" + std::string(1 << 20, ' ') + "1\n", rng);
  LoadAndRun(std::string(1 << 20, '['), rng);
  LoadAndRun(std::string("[main]\0\nY=0\0 50\nfire=0\0 1\n", 24), rng);
}

}  // namespace
}  // namespace zq

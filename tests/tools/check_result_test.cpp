// The facts zq-check builds its report on, from settings texts in memory.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "zq_check/check_model.h"

namespace zq::check {
namespace {

// Every slot bound once, so that a case shows only its own findings.
const std::string kBound =
    "trimbtn=0 1\nusetrim=0 2\nuseYtrim=0 3\ntrimXbtn=0 4\ntrimZbtn=0 5\nfire=0 6\nFire2=0 7\n"
    "Fire12=0 8\nchat=-1 192\npower=-1 73\ncurveup=0 9\ncurvedown=0 10\nresetbtn=0 11\n"
    "flapsup=0 12\nflapsdown=0 13\nYaxis=0 1\nTrimAxis=-1 0\nXaxis=0 0\nZaxis=0 2\n"
    "TrimXAxis=-1 0\nTrimZAxis=-1 0\nIncZtrim=-1 0\nDecZtrim=-1 0\nPowerMinus=-1 109\n"
    "PowerPlus=-1 107\n";

CheckResult Check(const std::string& mainLines) {
  return CheckSettingsText("Setup.ini", "[main]\n" + mainLines + kBound);
}

std::vector<std::string> Kinds(const CheckResult& r) {
  std::vector<std::string> kinds;
  for (const Diagnostic& d : r.diagnostics) {
    // the cases set slots before the bound ones, which then come again
    if (d.kind != "repeated-key") kinds.push_back(d.kind + "@" + std::to_string(d.line));
  }
  return kinds;
}

TEST(CheckSettings, NamesEachKindOfFindingAtItsLine) {
  struct Case {
    std::string lines;  // before the bound slots, from line 2 on
    std::vector<std::string> kinds;
    int status;
  };
  const std::vector<Case> cases = {
      {"", {}, 0},
      {"PowerPluss=1\n", {"unknown-key@2"}, 1},
      {"Y=0 5O\n", {"curve-stops-early@2"}, 1},
      {"Y1=\n", {"curve-stops-early@2"}, 1},  // an empty set still counts, all 0
      {"X1=0 3\n", {"curve-key-never-read@2"}, 1},
      {"Y12=0 3\n", {"curve-key-never-read@2"}, 1},
      {"Y2=0 50\n", {"curve-set-gap@2"}, 1},
      {"startflaps=4\n", {"startflaps-range@2"}, 1},
      {"startflaps=-1\n", {"startflaps-range@2"}, 1},
      {"startflaps=3\n", {}, 0},
      {"chat=-1 256\n", {"key-code-range@2"}, 1},
      {"chat=0 6\n", {"shared-input@2"}, 1},
      {"fire=-1 107\n", {"shared-input@2"}, 1},  // held: the chord does not matter
      {"power=[CTRL]+-\n", {}, 0},               // pressed: Ctrl+- is not the plain numpad key
      {"power=1 x\n", {"load-error@2", "shared-input@2"}, 2},
      {"startflaps=x\n", {"not-an-integer@2"}, 0},
      {"Y=1 2 3 4 5 6 7 8 9 10 11 12\n", {"curve-extra-numbers@2"}, 0},
      {"chat=\n", {"empty-binding@2"}, 0},
      {"chat=AF\n", {"key-text@2"}, 0},
      {"chat=F1\n", {"key-name@2"}, 1},
      {"power=Ctrl+P\n", {"key-name@2"}, 1},
      {"power=[CTRL]P\n", {}, 0},
      {"Yaxis=0 7\n", {"axis-word@2"}, 1},
      {"Yaxis=0 11\n", {"axis-word@2"}, 1},
      {"fire=16 1\n", {"no-such-joystick@2"}, 1},
      {"Y=10 20 30 40 50 60 70 80 90 100\n", {"curve-ten-points@2"}, 1},
      {"Y=20 40 100\n", {"curve-first-point@2"}, 1},
      {"Y=20 100 50\n", {}, 0},  // not rising after the first point: meant as written
      {"Y=50\n", {}, 0},
      // Outputs past full deflection, or turning back; a gain past 100 near
      // the centre, a dead zone or an inverted curve are meant.
      {"Y=0 100 100 100 100 100 100 100 100 100 101\n", {"curve-past-full@2"}, 1},
      {"TrimX=0 100 100 100 100 201\n", {"curve-past-full@2"}, 1},
      {"X=0 -100 -100 -100 -100 -100 -100 -100 -100 -100 -101\n", {"curve-past-full@2"}, 1},
      {"Z=0 250 200 150 125 100\n", {}, 0},
      {"Y=0 111 111 111 111 111 111 111 111 111 100\n", {}, 0},
      {"Y=0 0 56 74 83 89 93 95 97 99 100\n", {}, 0},
      {"TrimZ=0 -100\n", {}, 0},
      {"Y=0 100 100 100 100 200 100\n", {"curve-turns-back@2"}, 1},
      {"Y=0 -50 30\n", {"curve-turns-back@2"}, 1},
      {"Y=0 2000 100\n", {"curve-past-full@2", "curve-turns-back@2"}, 1},
      {"Y=0 50 x\n", {"curve-stops-early@2"}, 1},  // 5 then 0: the stop explains it
      {"WindowX=1878\nWindowY=1003\n", {}, 0},
      {"WindowX=1879\n", {"window-off-screen@2"}, 1},
      {"WindowY=-2\n", {"window-off-screen@2"}, 1},
      {"fire\n", {"no-equals@2"}, 0},
  };
  for (const Case& c : cases) {
    CheckResult r = Check(c.lines);
    EXPECT_EQ(Kinds(r), c.kinds) << c.lines;
    EXPECT_EQ(r.ExitStatus(), c.status) << c.lines;
  }
}

TEST(CheckSettings, TellsWhereEveryCurveComesFrom) {
  CheckResult r = Check("Y1=0 50\nY3=0 60\nX1=0 70\nX=0 90\n");
  ASSERT_EQ(r.curveSets.size(), 3u);  // set 0, Y1 and Y3 count
  EXPECT_EQ(r.curveSets[0].y.source, CurveSource::fallback);
  EXPECT_EQ(r.curveSets[0].x.source, CurveSource::file);
  EXPECT_EQ(r.curveSets[0].x.line, 5);
  EXPECT_EQ(r.curveSets[1].y.source, CurveSource::file);
  EXPECT_EQ(r.curveSets[1].x.source, CurveSource::file);
  EXPECT_EQ(r.curveSets[1].z.source, CurveSource::copy);
  EXPECT_EQ(r.curveSets[2].y.source, CurveSource::gap);
  EXPECT_EQ(r.curveSets[2].y.outputs[10], 0);
  EXPECT_EQ(r.curveSets[2].x.source, CurveSource::copy);
  EXPECT_EQ(r.curveSets[2].x.outputs[10], 90);
  EXPECT_EQ(r.curveSets[1].y.outputs[5], 25);  // 50 % gain at 50 % deflection
  EXPECT_EQ(r.trimCurves[1].key, "TrimX");
}

TEST(CheckSettings, ExplainsALoadThatEndsEarly) {
  CheckResult r = Check("Yaxis=1 3 4\n");
  ASSERT_TRUE(r.loadError.has_value());
  EXPECT_EQ(r.loadError->error.Message(), "'3 4' is not a valid integer value");
  EXPECT_EQ(r.slots[Slot::Yaxis].source, ValueSource::failed);
  EXPECT_EQ(r.slots[Slot::TrimAxis].source, ValueSource::unloaded);
  EXPECT_EQ(r.slots[Slot::flapsdown].source, ValueSource::file);
  EXPECT_EQ(r.settings.bindings[Slot::Yaxis].device, 1);  // stored before the code failed
  EXPECT_TRUE(r.curveSets.empty());
  EXPECT_EQ(r.trimCurves[0].source, CurveSource::unloaded);
  const Diagnostic& error = r.diagnostics.front();
  EXPECT_EQ(error.severity, Severity::error);
  EXPECT_NE(error.message.find("\"'3 4' is not a valid integer value.\""), std::string::npos);
}

TEST(CheckSettings, NamesWhatANamedFileThatCannotBeReadIs) {
  CheckOptions named;
  named.named = true;
  CheckResult r = CheckSettingsFile("/nonexistent/folder/Setup.ini", named);
  EXPECT_EQ(r.diagnostics.front().severity, Severity::error);
  EXPECT_EQ(r.ExitStatus(), 2);
  // UTF-16 (little and big endian) without a mark; with a mark it is no guess
  const std::string utf16le("[\0m\0a\0i\0n\0]\0\n\0", 14);
  const std::string utf16be("\0[\0m\0a\0i\0n\0]\0\n", 14);
  EXPECT_EQ(CheckSettingsText("u.ini", utf16le).diagnostics.front().kind, "utf-16");
  EXPECT_EQ(CheckSettingsText("u.ini", utf16be).diagnostics.front().kind, "utf-16");
  EXPECT_NE(CheckSettingsText("u.ini", "\xff\xfe" + utf16le).diagnostics.front().kind, "utf-16");
  EXPECT_NE(CheckSettingsText("u.ini", "[main]\nchat=\0\n").diagnostics.front().kind, "utf-16");
}

TEST(CheckSettings, ExplainsTheDefaultsWhenThereIsNoFile) {
  CheckResult r = CheckSettingsFile("/nonexistent/folder/Setup.ini");
  EXPECT_FALSE(r.found);
  EXPECT_EQ(r.unreadable, "no such file");
  EXPECT_EQ(r.slots[Slot::chat].source, ValueSource::fallback);
  EXPECT_EQ(r.slots[Slot::chat].words, "key ` (virtual key 192)");
  ASSERT_EQ(r.curveSets.size(), 1u);
  EXPECT_EQ(r.diagnostics.front().kind, "no-file");
  // the defaults put seventeen slots on joystick 0, button 32
  ASSERT_EQ(r.diagnostics.size(), 2u);
  EXPECT_EQ(r.diagnostics[1].kind, "shared-input");
  EXPECT_NE(r.diagnostics[1].message.find("triggers 17 slots"), std::string::npos);
  EXPECT_EQ(r.ExitStatus(), 1);
}

}  // namespace
}  // namespace zq::check

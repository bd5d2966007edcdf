// The start-up report and the run's later lines: exact texts, one line per
// change and none on a quiet tick; the command line and the near-miss finder.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/command_line.h"
#include "app/form_shell.h"
#include "app/run_report.h"
#include "config/settings_near_miss.h"
#include "kit/fakes.h"
#include "kit/scratch_folder.h"

namespace zq {
namespace {

namespace fs = std::filesystem;

struct Lines : ReportLines {
  std::vector<std::string> lines;
  void Line(std::string_view text) override { lines.emplace_back(text); }
};

struct NoBox : ErrorReport {
  std::vector<std::string> boxes;
  void ReportError(std::string_view text) override { boxes.emplace_back(text); }
};

// A panel on fake devices, its report lines collected.
struct Panel {
  test::FakeDevices devices;
  AnswerWatch answers{devices};
  test::RecordingView view;
  test::RecordingSender udp;
  CurveBank bank;
  TForm1 form{bank, answers, view, udp};
  NoBox boxes;
  Lines out;
  RunReport report{out};

  explicit Panel(std::string_view settings) {
    CreateForm(form, ProfileTextSettings(settings), NoKeyCharMap(), {1920, 1080}, boxes);
  }
  // One tick; the lines it added.
  std::vector<std::string> Tick() {
    size_t before = out.lines.size();
    TickOutcome outcome = RunTick(form, boxes);
    report.AfterTick(form.State(), form.StickPinErrors(), outcome);
    return {out.lines.begin() + static_cast<long>(before), out.lines.end()};
  }
};

// Every slot on the keyboard except those given after it.
constexpr std::string_view kAllKeys =
    "[main]\r\ntrimbtn=-1 1\r\nusetrim=-1 1\r\nuseYtrim=-1 1\r\ntrimXbtn=-1 1\r\n"
    "trimZbtn=-1 1\r\nfire=-1 1\r\nFire2=-1 1\r\nFire12=-1 1\r\ncurveup=-1 1\r\n"
    "curvedown=-1 1\r\nresetbtn=-1 1\r\nflapsup=-1 69\r\nflapsdown=-1 68\r\nYaxis=-1 0\r\n"
    "IncZtrim=-1 1\r\nDecZtrim=-1 1\r\nPowerMinus=-1 1\r\nPowerPlus=-1 1\r\n";

TEST(RunReport, MissingStickIsNamedOnceWithItsSlots) {
  Panel run(kAllKeys);
  Panel missing(
      "[main]\r\nYaxis=3 1\r\nfire=3 2\r\ntrimbtn=-1 1\r\nusetrim=-1 1\r\nuseYtrim=-1 1\r\n"
      "trimXbtn=-1 1\r\ntrimZbtn=-1 1\r\nFire2=-1 1\r\nFire12=-1 1\r\ncurveup=-1 1\r\n"
      "curvedown=-1 1\r\nresetbtn=-1 1\r\nflapsup=-1 1\r\nflapsdown=-1 1\r\nIncZtrim=-1 1\r\n"
      "DecZtrim=-1 1\r\nPowerMinus=-1 1\r\nPowerPlus=-1 1\r\n");
  EXPECT_EQ(run.Tick(), std::vector<std::string>{});
  EXPECT_EQ(missing.Tick(), std::vector<std::string>{"joystick 3 (Yaxis, fire) is not connected: "
                                                     "its axes read -100 until it answers"});
  // The first datagram still carries the full deflection.
  EXPECT_EQ(missing.udp.sent, std::vector<std::string>{"R/87\\-1"});
  for (int t = 0; t < 20; ++t) EXPECT_EQ(missing.Tick(), std::vector<std::string>{});
}

TEST(RunReport, DefaultBindingsNameEveryJoystickZeroSlotAxesFirst) {
  Panel run("");
  EXPECT_EQ(run.Tick(),
            std::vector<std::string>{
                "joystick 0 (Yaxis, trimbtn, usetrim, useYtrim, trimXbtn, trimZbtn, fire, Fire2, "
                "Fire12, curveup, curvedown, resetbtn, flapsup, flapsdown, IncZtrim, DecZtrim, "
                "PowerMinus, PowerPlus) is not connected: its axes read -100 until it answers"});
}

TEST(RunReport, LostAndReturningStickGetOneLineEach) {
  Panel run(
      "[main]\r\nYaxis=2 1\r\nXaxis=2 0\r\ntrimbtn=-1 1\r\nusetrim=-1 1\r\nuseYtrim=-1 1\r\n"
      "trimXbtn=-1 1\r\ntrimZbtn=-1 1\r\nfire=-1 1\r\nFire2=-1 1\r\nFire12=-1 1\r\n"
      "curveup=-1 1\r\ncurvedown=-1 1\r\nresetbtn=-1 1\r\nflapsup=-1 1\r\nflapsdown=-1 1\r\n"
      "IncZtrim=-1 1\r\nDecZtrim=-1 1\r\nPowerMinus=-1 1\r\nPowerPlus=-1 1\r\n");
  run.devices.Axis(2, 0, 32767);
  run.devices.Axis(2, 1, 32767);
  EXPECT_EQ(run.Tick(), std::vector<std::string>{});
  run.devices.plugged[2] = false;
  EXPECT_EQ(run.Tick(),
            std::vector<std::string>{"joystick 2 (Yaxis, Xaxis) stopped answering: its axes and "
                                     "buttons keep their last state until it answers"});
  EXPECT_EQ(run.Tick(), std::vector<std::string>{});
  run.devices.plugged[2] = true;
  const std::vector<std::string> back = run.Tick();
  EXPECT_EQ(back, std::vector<std::string>{"joystick 2 (Yaxis, Xaxis) answers again"});
  EXPECT_EQ(run.Tick(), std::vector<std::string>{});
}

StickIdentity Device(uint16_t vendor, uint16_t product, std::string_view name,
                     std::string_view serial = "", std::string_view path = "") {
  StickIdentity d;
  d.vendor = vendor;
  d.product = product;
  d.name.Append(name);
  d.serial.Append(serial);
  d.path.Append(path);
  return d;
}

TEST(RunReport, PinnedSticksFollowTheirDevicesAcrossPorts) {
  std::string keys(kAllKeys);
  keys.replace(keys.find("Yaxis=-1 0"), 10, "Yaxis=0 1");
  Panel run(keys +
            "Xaxis=1 0\r\n[sticks]\r\n0=044f:b10a \"Flight Stick\" serial=A1\r\n"
            "1=06a3:0763 \"Throttle\"\r\n2=044f:b10a Flight\r\n");
  const StickIdentity stick = Device(0x044f, 0xb10a, "Flight Stick", "A1", "usb-1");
  const StickIdentity throttle = Device(0x06a3, 0x0763, "Throttle", "", "usb-2");
  // The throttle has the system's joystick 0, the stick 1.
  run.devices.identity[0] = throttle;
  run.devices.identity[1] = stick;
  run.devices.Axis(0, 0, 65535);
  run.devices.Axis(1, 1, 65535);
  EXPECT_EQ(run.Tick(),
            (std::vector<std::string>{
                "[sticks] 2: 'Flight' is not in double quotes: the name is written \"like "
                "this\": the line pins nothing, joystick 2 is numbered by the system",
                "joystick 0 is pinned to 044f:b10a \"Flight Stick\" serial=A1: found by serial, "
                "the system's joystick 1",
                "joystick 1 is pinned to 06a3:0763 \"Throttle\": found by name, the system's "
                "joystick 0"}));
  EXPECT_EQ(run.udp.sent, std::vector<std::string>{"R/87\\1/85\\1"});
  // Unplugged: id 0 reads as a stick that never answered, whatever it read
  // before, and its return in the other port brings it back at once.
  run.devices.plugged[1] = false;
  run.devices.sticksChanged = true;
  // The pin's line says it all: no second line on the same stick.
  EXPECT_EQ(run.Tick(), (std::vector<std::string>{
                            "joystick 0 is pinned to 044f:b10a \"Flight Stick\" serial=A1: not "
                            "connected, its axes read -100 until it is plugged in"}));
  EXPECT_EQ(run.udp.sent.back(), "R/87\\-1");
  run.devices.identity[5] = stick;
  run.devices.Axis(5, 1, 49151);
  run.devices.sticksChanged = true;
  EXPECT_EQ(run.Tick(), (std::vector<std::string>{
                            "joystick 0 is pinned to 044f:b10a \"Flight Stick\" serial=A1: found "
                            "by serial, the system's joystick 5"}));
  EXPECT_EQ(run.udp.sent.back(), "R/87\\0.5");
  EXPECT_EQ(run.Tick(), std::vector<std::string>{});
}

TEST(RunReport, FirstFailedSendAndTheRecoveryOnly) {
  Panel run(kAllKeys);
  // A failed send is sent again by the next tick: the release ticks send too.
  run.udp.failures = {{SendResult::Kind::sendFailed, 10051},
                      {SendResult::Kind::sendFailed, 10051},
                      {SendResult::Kind::sendFailed, 10051},
                      {},
                      {SendResult::Kind::noSocket, 0}};
  // Flaps down, up, down...: each press is one change.
  for (int press = 0; press < 4; ++press) {
    const size_t key = press % 2 == 0 ? 68 : 69;
    run.devices.keys[key] = 128;
    run.Tick();
    run.devices.keys[key] = 0;
    run.Tick();
  }
  EXPECT_EQ(run.udp.sent.size(), 7u);
  EXPECT_EQ(run.out.lines,
            (std::vector<std::string>{
                "sending to 127.0.0.1:21100 failed: Socket Error # 10051 Network is unreachable. "
                "Changes are lost until sending works again",
                "sending to 127.0.0.1:21100 again",
                "sending to 127.0.0.1:21100 failed: Cannot allocate socket. Changes are lost "
                "until sending works again",
                "sending to 127.0.0.1:21100 again"}));
  // The error boxes are as before: one per failed send.
  EXPECT_EQ(run.boxes.boxes.size(), 4u);
  for (int t = 0; t < 20; ++t) EXPECT_EQ(run.Tick(), std::vector<std::string>{});
}

TEST(RunReport, LoadErrorNamesFileLineAndKey) {
  const std::string text = "[main]\r\nflapsdown=K\r\n; Y axis\r\nYaxis=J 1\r\nWindowX=5\r\n";
  Panel run(text);
  ASSERT_TRUE(run.form.LoadError().has_value());
  const std::string_view key = kSlotTable[static_cast<size_t>(run.form.LoadError()->slot)].key;
  EXPECT_EQ(key, "Yaxis");
  EXPECT_EQ(KeyLine(ProfileText(text), "main", key), 4);
  EXPECT_EQ(KeyLine(ProfileText(text), "main", "flapsdown"), 2);
  EXPECT_EQ(KeyLine(ProfileText(text), "main", "Xaxis"), 0);
  // Only the slots read before the error count; no curve means no -100.
  run.report.LoadEndedAt(run.form.LoadError()->slot);
  EXPECT_EQ(run.Tick(),
            std::vector<std::string>{
                "joystick 0 (trimbtn, usetrim, useYtrim, trimXbtn, trimZbtn, fire, "
                "Fire2, Fire12, curveup, curvedown, resetbtn, flapsup) is not connected"});
  EXPECT_EQ(LoadErrorLine("/home/p/Setup.ini", 4, "Yaxis", "'J' is not a valid integer value."),
            "/home/p/Setup.ini:4: Yaxis: 'J' is not a valid integer value. Loading stopped at "
            "this key: the bindings after it, the curves and the window's place keep their start "
            "values");
}

class SettingsFolder : public test::ScratchFolder {
 protected:
  SettingsFolder()
      : ScratchFolder("zq-report-" +
                      std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-") {}
  void Touch(const char* name) { std::ofstream(dir_ / name) << "[main]\n"; }
};

TEST_F(SettingsFolder, NearMissesAreOtherCaseAndOneHiddenEnding) {
  // Names apart in any letter case: Windows folders do not tell case apart.
  for (const char* name :
       {"setup.ini", "SETUP.INI.TXT", "Setup.ini.txt.bak", "Setup.in", "Setup.ini~", "notes.txt"}) {
    Touch(name);
  }
  fs::create_directory(dir_ / "Setup.ini.d");  // a folder is no file
  EXPECT_EQ(NearMissSettingsFiles(dir_), (std::vector<std::string>{"SETUP.INI.TXT", "setup.ini"}));
  Touch("Setup.ini");
  EXPECT_EQ(NearMissSettingsFiles(dir_).size(), 2u);  // the exact name is never a near miss
  EXPECT_EQ(NearMissSettingsFiles(dir_ / "absent"), std::vector<std::string>{});
}

TEST_F(SettingsFolder, StartLinesForReadMissingAndUnreadable) {
  const fs::path file = dir_ / "Setup.ini";
  const std::string d = dir_.string(), f = file.string(), f16 = (dir_ / "f16.ini").string();
  EXPECT_EQ(SettingsReportLines(file, SettingsFileState::read, ""),
            std::vector<std::string>{"settings from " + f});
  EXPECT_EQ(
      SettingsReportLines(file, SettingsFileState::missing, ""),
      std::vector<std::string>{"no Setup.ini in " + d + ": running on the built-in defaults"});
  Touch("setup.ini");
  Touch("Setup.ini.txt");
  EXPECT_EQ(
      SettingsReportLines(file, SettingsFileState::missing, ""),
      (std::vector<std::string>{
          "no Setup.ini in " + d + ": running on the built-in defaults",
          "hint: " + d +
              " holds \"Setup.ini.txt\", which is not read: rename it to "
              "\"Setup.ini\" (the file manager may hide its ending)",
          "hint: " + d + " holds \"setup.ini\", which is not read: rename it to \"Setup.ini\""}));
  EXPECT_EQ(SettingsReportLines(dir_ / "f16.ini", SettingsFileState::missing, ""),
            std::vector<std::string>{"no file " + f16 + ": running on the built-in defaults"});
  EXPECT_EQ(SettingsReportLines(file, SettingsFileState::directory, "it is a directory"),
            std::vector<std::string>{"the settings file " + f +
                                     " can't be read because it is a directory: running on the "
                                     "built-in defaults"});
}

TEST_F(SettingsFolder, SetupOptionTakesAFileOrAFolder) {
  using A = PanelOptions::Action;
  EXPECT_EQ(ParsePanelOptions({}).action, A::run);
  EXPECT_EQ(SettingsPathOf(ParsePanelOptions({})), fs::path(".") / "Setup.ini");
  PanelOptions folder = ParsePanelOptions({"--setup", dir_.string()});
  EXPECT_EQ(folder.action, A::run);
  EXPECT_EQ(SettingsPathOf(folder), dir_ / "Setup.ini");
  PanelOptions file = ParsePanelOptions({"--setup=" + (dir_ / "f16.ini").string()});
  EXPECT_EQ(SettingsPathOf(file), dir_ / "f16.ini");  // a file that is not there yet stays a file
  EXPECT_EQ(ParsePanelOptions({"--help"}).action, A::help);
  EXPECT_EQ(ParsePanelOptions({"--setup", "x", "--version"}).action, A::version);
  for (std::vector<std::string> bad :
       std::vector<std::vector<std::string>>{{"--setup"},
                                             {"--setup="},
                                             {"--setup", "a", "--setup", "b"},
                                             {"--fast"},
                                             {"Setup.ini"}}) {
    PanelOptions o = ParsePanelOptions(bad);
    EXPECT_EQ(o.action, A::bad) << bad[0];
    EXPECT_FALSE(o.error.empty());
  }
  EXPECT_NE(PanelHelpText("zq-thrust").find("--setup PATH"), std::string::npos);
  EXPECT_EQ(PanelVersionText("zq-thrust").rfind("zq-thrust 0.", 0), 0u);
}

}  // namespace
}  // namespace zq

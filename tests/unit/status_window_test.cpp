#include "app/paint_box.h"
#include "app/placement.h"

#include <gtest/gtest.h>

#include "app/error_report.h"
#include "config/curve_bank.h"

namespace zq {
namespace {

TEST(PlaceWindow, DefaultsAndExplicitPositions) {
  struct Case {
    int32_t x, y;
    ScreenSize screen;
    Placement expected;
  };
  const Case cases[] = {
      {-1, -1, {1920, 1080}, {1878, 675, 42, 77}},
      {-1, -1, {1600, 900}, {1558, 562, 42, 77}},  // 562.5 goes to the even 562
      {-1, -1, {1280, 1024}, {1238, 640, 42, 77}},
      {0, -1, {1024, 768}, {0, 480, 42, 77}},
      {-1, 0, {1920, 1080}, {1878, 0, 42, 77}},
      {5000, -7, {1920, 1080}, {5000, -7, 42, 77}},  // off the screen stays there
      {-1, -1, {1920, 1081}, {1878, 676, 42, 77}},   // 675.625
      {-1, -1, {1920, 1084}, {1878, 678, 42, 77}},   // 677.5 goes to 678
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PlaceWindow(c.x, c.y, c.screen), c.expected) << c.x << "," << c.y;
  }
  EXPECT_EQ(DesignPlacement(), (Placement{880, 592, 104, 77}));
}

PaintColumns PaintOf(std::string_view curveText) {
  CurveBank bank;
  ParseCurve(curveText, bank.curvesY[0]);
  return ComputePaintColumns(bank);
}

TEST(PaintBox, ColumnsFollowTheStoredYPoints) {
  PaintColumns all100 = PaintOf("100");
  for (int32_t h : all100) EXPECT_EQ(h, 10);
  PaintColumns straight = PaintOf("0 100");
  EXPECT_EQ(straight[0], 0);
  for (size_t i = 1; i < 20; ++i) EXPECT_EQ(straight[i], 10);
  for (int32_t h : PaintOf("9 -9 5")) EXPECT_EQ(h, 0);
  PaintColumns mixed = PaintOf("0 -50 30 -100 7 2147483647");
  EXPECT_EQ(mixed[1], -5);  // point 1 in columns 2 and 3
  EXPECT_EQ(mixed[2], -5);
  EXPECT_EQ(mixed[3], 3);
  EXPECT_EQ(mixed[5], -10);
  EXPECT_EQ(mixed[19], 214748364);  // point 10 in column 20
}

TEST(PaintBox, SelectedSetIsShown) {
  CurveBank bank;
  ParseCurve("0 100", bank.curvesY[0]);
  ParseCurve("50", bank.curvesY[2]);
  bank.curveIndex = 2;
  EXPECT_EQ(ComputePaintColumns(bank)[0], 5);
}

TEST(PaintBox, RowsStayInsideP) {
  struct Case {
    int32_t h;
    int first, last;
  };
  const Case cases[] = {{10, 1, 10},   {3, 8, 10},   {0, 0, -1},         {-5, 10, 14},
                        {-10, 10, 16}, {100, 0, 10}, {INT32_MAX, 0, 10}, {INT32_MIN, 10, 16}};
  for (const Case& c : cases) {
    PaintRows r = PaintColumnRows(c.h);
    EXPECT_EQ(r.first, c.first) << c.h;
    EXPECT_EQ(r.last, c.last) << c.h;
  }
}

TEST(ErrorReport, FullStopRule) {
  EXPECT_EQ(MakeReportText("'JOY' is not a valid integer value").View(),
            "'JOY' is not a valid integer value.");
  EXPECT_EQ(MakeReportText("Done.").View(), "Done.");
  EXPECT_EQ(MakeReportText("Stop!").View(), "Stop!");
  EXPECT_EQ(MakeReportText("a,").View(), "a,");
  EXPECT_EQ(MakeReportText("trailing ").View(), "trailing ");
  EXPECT_EQ(MakeReportText("Socket Error # 1\r\n").View(), "Socket Error # 1\r\n");
  EXPECT_EQ(MakeReportText("Directory not empty").View(), "Directory not empty.");
  EXPECT_EQ(MakeReportText("").View(), "");
  EXPECT_EQ(MakeReportText("caf\xE9").View(), "caf\xE9.");  // compared as unsigned bytes
  EXPECT_EQ(MakeReportText("x/").View(), "x/.");
  EXPECT_EQ(MakeReportText("x-").View(), "x-");
}

TEST(ErrorReport, ProgramTitle) {
  EXPECT_EQ(ProgramTitle("C:\\Games\\MY.PANEL.EXE"), "My");
  EXPECT_EQ(ProgramTitle("/usr/bin/zq-thrust"), "zq-thrust");
  EXPECT_EQ(ProgramTitle("ZQ-Thrust.exe"), "Zq-thrust");
  EXPECT_EQ(ProgramTitle("dir.d/prog"), "prog");
  EXPECT_EQ(ProgramTitle(".hidden"), "");
}

TEST(ErrorReport, ApplicationErrorText) {
  EXPECT_EQ(ApplicationErrorText("EOSError", "C:\\x\\zq-thrust.exe", 0x4A2B1C,
                                 "Cannot start the socket layer"),
            "Exception EOSError in module zq-thrust.exe at 004A2B1C.\r\n"
            "Cannot start the socket layer.\r\n");
}

}  // namespace
}  // namespace zq

// The panel window, its drawing and the error boxes (need a display: under
// wine, scripts/test.d/20-windows.sh starts Xvfb; without one they skip).
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "app/tform1.h"
#include "control/status_view.h"
#include "platform/win32/win32_error_box.h"
#include "platform/win32/win32_window.h"

namespace zq {
namespace {

class NoDevices : public InputDevices {
 public:
  uint8_t KeyState(int) override { return 0; }
  bool PollJoystick(int, JoyInfoEx&) override { return false; }
};

class NoSender : public DatagramSender {
 public:
  SendResult Send(const char*, size_t) override { return {}; }
};

class SilentReport : public ErrorReport {
 public:
  void ReportError(std::string_view) override {}
};

bool HaveDisplay() {
  HDC screen = GetDC(nullptr);
  if (screen == nullptr) return false;
  ReleaseDC(nullptr, screen);
  return GetSystemMetrics(SM_CXSCREEN) > 0;
}

// The panel rendered into a 104 x 77 bitmap, pixel by pixel.
class Canvas {
 public:
  Canvas() {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = kDesignWidth;
    info.bmiHeader.biHeight = -kDesignHeight;  // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    dc_ = CreateCompatibleDC(nullptr);
    bitmap_ =
        CreateDIBSection(dc_, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits_), nullptr, 0);
    old_ = SelectObject(dc_, bitmap_);
  }
  ~Canvas() {
    SelectObject(dc_, old_);
    DeleteObject(bitmap_);
    DeleteDC(dc_);
  }
  void Draw(const Win32Window& panel) {
    panel.Render(dc_);
    GdiFlush();
  }
  Rgb At(int x, int y) const {
    uint32_t p = bits_[y * kDesignWidth + x];
    return Rgb{static_cast<uint8_t>(p >> 16), static_cast<uint8_t>(p >> 8),
               static_cast<uint8_t>(p)};
  }
  HDC Dc() const { return dc_; }

 private:
  HDC dc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ old_ = nullptr;
  uint32_t* bits_ = nullptr;
};

class Win32WindowTest : public testing::Test {
 protected:
  void SetUp() override {
    if (!HaveDisplay()) GTEST_SKIP() << "no display (run under Xvfb: scripts/test.d/20-windows.sh)";
  }
  // The panel with the design's labels and the curves of `setup`.
  void Load(const std::string& setup) {
    ProfileTextSettings settings(setup);
    NoKeyCharMap keyMap;
    ASSERT_FALSE(form_.FormCreate(settings, keyMap, ScreenSize{1280, 1024}).has_value());
    panel_.Attach(form_, report_);
  }
  CurveBank bank_{};
  NoDevices devices_;
  NoSender sender_;
  SilentReport report_;
  Win32Window panel_;
  TForm1 form_{bank_, devices_, panel_, sender_};
};

TEST_F(Win32WindowTest, WindowIsBorderlessTopMostWithATaskBarEntryAndHiddenUntilShown) {
  ASSERT_TRUE(panel_.Create(GetModuleHandleA(nullptr)));
  HWND w = panel_.Handle();
  LONG style = GetWindowLongW(w, GWL_STYLE), exStyle = GetWindowLongW(w, GWL_EXSTYLE);
  EXPECT_EQ(style & (WS_POPUP | WS_CAPTION | WS_THICKFRAME), WS_POPUP);
  EXPECT_TRUE(exStyle & WS_EX_TOPMOST);
  EXPECT_TRUE(exStyle & WS_EX_APPWINDOW);
  EXPECT_FALSE(IsWindowVisible(w));
  wchar_t title[32] = {};
  GetWindowTextW(w, title, 32);
  EXPECT_STREQ(title, L"ZQ - Thrust");
  RECT r;
  GetWindowRect(w, &r);
  EXPECT_EQ(r.left, kDesignLeft);
  EXPECT_EQ(r.top, kDesignTop);
  EXPECT_EQ(r.right - r.left, kDesignWidth);
  EXPECT_EQ(r.bottom - r.top, kDesignHeight);
  // The window has no frame: its size is what placement gives.
  panel_.Place(Placement{-5, 3000, 42, 77});
  GetWindowRect(w, &r);
  EXPECT_EQ(r.left, -5);
  EXPECT_EQ(r.top, 3000);
  EXPECT_EQ(r.right - r.left, 42);
  EXPECT_EQ(r.bottom - r.top, 77);
}

int CALLBACK NoteCyrillicFace(const LOGFONTW* font, const TEXTMETRICW*, DWORD, LPARAM found) {
  if (lstrcmpiW(font->lfFaceName, L"MS Sans Serif") == 0 && font->lfCharSet == RUSSIAN_CHARSET) {
    *reinterpret_cast<bool*>(found) = true;
  }
  return 1;
}

// The face the system really draws with when `font` is asked for, and
// whether it has the letters of the flap names.
struct Realized {
  std::wstring face;
  bool cyrillic = false;
};
Realized Realize(const LOGFONTW& font) {
  Canvas canvas;
  HFONT f = CreateFontIndirectW(&font);
  HGDIOBJ old = SelectObject(canvas.Dc(), f);
  wchar_t face[LF_FACESIZE] = {};
  GetTextFaceW(canvas.Dc(), LF_FACESIZE, face);
  Realized r{face, false};
  TEXTMETRICW tm{};
  GetTextMetricsW(canvas.Dc(), &tm);
  if (tm.tmCharSet == RUSSIAN_CHARSET) {
    r.cyrillic = true;
  } else if (DWORD size = GetFontUnicodeRanges(canvas.Dc(), nullptr)) {
    std::vector<char> buf(size);
    auto* set = reinterpret_cast<GLYPHSET*>(buf.data());
    GetFontUnicodeRanges(canvas.Dc(), set);
    auto has = [&](WCHAR c) {
      for (DWORD i = 0; i < set->cRanges; ++i) {
        if (c >= set->ranges[i].wcLow && c < set->ranges[i].wcLow + set->ranges[i].cGlyphs) {
          return true;
        }
      }
      return false;
    };
    r.cyrillic = true;
    for (WCHAR c : std::wstring(L"убраныЧатвыпущенывзлёт")) r.cyrillic = r.cyrillic && has(c);
  }
  SelectObject(canvas.Dc(), old);
  DeleteObject(f);
  return r;
}

TEST_F(Win32WindowTest, LabelFontHasCyrillicLettersAndFitsMinus100BeforeTheTrimColumn) {
  HDC screen = GetDC(nullptr);
  bool msSansSerifCyrillic = false;
  LOGFONTW want{};
  want.lfCharSet = RUSSIAN_CHARSET;
  lstrcpyW(want.lfFaceName, L"MS Sans Serif");
  EnumFontFamiliesExW(screen, &want, NoteCyrillicFace,
                      reinterpret_cast<LPARAM>(&msSansSerifCyrillic), 0);
  const int height = -MulDiv(8, GetDeviceCaps(screen, LOGPIXELSY), 72);
  LOGFONTW msSansSerif = want;
  msSansSerif.lfHeight = height;
  msSansSerif.lfWeight = FW_NORMAL;
  const bool msSansSerifFits = LabelTextWidth(screen, msSansSerif, L"-100") <= 20;
  LOGFONTW missing = ChooseLabelFont(screen, L"No Such Face Anywhere");
  const int missingWidth = LabelTextWidth(screen, missing, L"-100");

  const LOGFONTW& font = panel_.Font();
  const int width = LabelTextWidth(screen, font, L"-100");
  ReleaseDC(nullptr, screen);
  EXPECT_EQ(font.lfWeight, FW_NORMAL);
  if (msSansSerifCyrillic && msSansSerifFits) {
    EXPECT_EQ(std::wstring(font.lfFaceName), L"MS Sans Serif");
    EXPECT_EQ(font.lfHeight, height);  // 8 point
  }
  EXPECT_LE(width, 20) << testing::PrintToString(std::wstring(font.lfFaceName)) << " at "
                       << font.lfHeight;
  EXPECT_LE(missingWidth, 20) << testing::PrintToString(std::wstring(missing.lfFaceName));
  EXPECT_LE(font.lfHeight, -6);

  // What the system draws with is that face, and it has the Russian letters.
  Realized drawn = Realize(font);
  EXPECT_EQ(drawn.face, std::wstring(font.lfFaceName));
  EXPECT_TRUE(drawn.cyrillic) << "face drawn: " << testing::PrintToString(drawn.face);

  // On the panel: yp's "-100" ends before ty begins.
  Load("[main]\n");
  panel_.SetText(Label::yp, "-100");
  Canvas canvas;
  canvas.Draw(panel_);
  EXPECT_LE(panel_.LabelRect(canvas.Dc(), Label::yp).right, 20);
}

TEST_F(Win32WindowTest, PreviewLightsTheStoredPointsOfTheSelectedYCurve) {
  Load("[main]\nY=0 100\n");
  Canvas canvas;
  canvas.Draw(panel_);
  const int pLeft = kPaintBox.left, pTop = kPaintBox.top;
  for (int i = 1; i <= 20; ++i) {
    for (int row = 0; row <= 11; ++row) {
      // "0 100": column 1 (point 0) dark, columns 2..20 rows 1..10 lit
      bool lit = i >= 2 && row >= 1 && row <= 10;
      EXPECT_EQ(canvas.At(pLeft + i, pTop + row), lit ? kWhite : kNavy)
          << "column " << i << " row " << row;
    }
  }
}

TEST_F(Win32WindowTest, NegativePointsGrowDownToTheEdgeOfP) {
  Load("[main]\nY=-100\n");
  Canvas canvas;
  canvas.Draw(panel_);
  // Rows 10..16; Label2 (20, 64) covers the left part of rows 12..16, so
  // look right of its "0".
  RECT label2 = panel_.LabelRect(canvas.Dc(), Label::Label2);
  for (int x = label2.right; x <= kPaintBox.left + 20; ++x) {
    for (int row = 0; row < kPaintBox.height; ++row) {
      bool lit = row >= 10;
      EXPECT_EQ(canvas.At(x, kPaintBox.top + row), lit ? kWhite : kNavy) << x << " " << row;
    }
    EXPECT_EQ(canvas.At(x, kPaintBox.top + kPaintBox.height), kNavy) << "below P at " << x;
  }
}

TEST_F(Win32WindowTest, LabelsAreOpaqueSizedToTheirTextAndDrawnInCreationOrder) {
  Load("[main]\n");
  panel_.SetText(Label::yp, "-100");
  panel_.SetText(Label::f, "выпущены ");
  panel_.SetBackground(Label::f, kLime);
  Canvas canvas;
  canvas.Draw(panel_);

  RECT f = panel_.LabelRect(canvas.Dc(), Label::f);
  EXPECT_EQ(f.bottom - f.top, kLabelHeight);
  int blue = 0;
  for (int y = f.top; y < f.bottom; ++y) {
    for (int x = f.left; x < f.right && x < kDesignWidth; ++x) {
      Rgb c = canvas.At(x, y);
      EXPECT_TRUE(c == kLime || c == kBlue) << x << "," << y;
      blue += c == kBlue;
    }
  }
  EXPECT_GT(blue, 20);  // the letters are drawn, not blanks
  // Its background covers the trailing blank too, and stops there.
  panel_.SetText(Label::f, "выпущены");
  RECT bare = panel_.LabelRect(canvas.Dc(), Label::f);
  EXPECT_GT(f.right, bare.right);
  if (f.right < kDesignWidth) {
    EXPECT_EQ(canvas.At(f.right, 5), kNavy);
  }

  // ty comes after yp: inside ty's "0" nothing of yp's white shows.
  RECT ty = panel_.LabelRect(canvas.Dc(), Label::ty);
  for (int y = ty.top; y < ty.bottom; ++y) {
    for (int x = ty.left; x < ty.right; ++x) {
      Rgb c = canvas.At(x, y);
      EXPECT_TRUE(c == kYellow || c == kNavy) << x << "," << y;
    }
  }
  // A shorter text leaves the window colour where the longer one stood.
  panel_.SetText(Label::f, "1");
  canvas.Draw(panel_);
  RECT shortF = panel_.LabelRect(canvas.Dc(), Label::f);
  for (int x = shortF.right; x < f.right && x < kDesignWidth; ++x) {
    EXPECT_EQ(canvas.At(x, 6), kNavy) << x;
  }
}

// Boxes are answered from a timer that runs inside the box's own message
// loop, just as the panel's ticks do.
struct BoxWatch {
  const char* caption = nullptr;
  int ticks = 0;
  int mostBoxes = 0;
  std::string text;
  ErrorReport* report = nullptr;
};
BoxWatch* watch = nullptr;

BOOL CALLBACK CountBox(HWND w, LPARAM count) {
  char cls[16] = {}, caption[64] = {};
  GetClassNameA(w, cls, sizeof cls);
  GetWindowTextA(w, caption, sizeof caption);
  if (std::string(cls) == "#32770" && std::string(caption) == watch->caption) {
    ++*reinterpret_cast<int*>(count);
  }
  return TRUE;
}

BOOL CALLBACK TakeText(HWND child, LPARAM) {
  char cls[16] = {}, text[512] = {};
  GetClassNameA(child, cls, sizeof cls);
  if (lstrcmpiA(cls, "Static") == 0 && GetWindowTextA(child, text, sizeof text) > 0) {
    watch->text = text;
    return FALSE;
  }
  return TRUE;
}

void CALLBACK OnTick(HWND, UINT, UINT_PTR, DWORD) {
  ++watch->ticks;
  // An error on every tick, as a send that keeps failing would give.
  if (watch->report != nullptr) watch->report->ReportError("Socket Error # 10065");
  int boxes = 0;
  EnumWindows(CountBox, reinterpret_cast<LPARAM>(&boxes));
  if (boxes > watch->mostBoxes) watch->mostBoxes = boxes;
  if (watch->ticks >= 6) {
    if (HWND box = FindWindowA("#32770", watch->caption)) {
      EnumChildWindows(box, TakeText, 0);
      PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    }
  }
}

TEST_F(Win32WindowTest, OneErrorBoxAtATimeWhileTicksGoOnUnderneath) {
  Win32ErrorReport report("zq_gate_probe");
  BoxWatch w;
  w.caption = "zq_gate_probe";
  w.report = &report;
  watch = &w;
  UINT_PTR timer = SetTimer(nullptr, 0, 50, OnTick);
  report.ReportError("'JOY' is not a valid integer value.");
  EXPECT_GE(w.ticks, 6);
  EXPECT_EQ(w.mostBoxes, 1);
  EXPECT_EQ(w.text, "'JOY' is not a valid integer value.");

  // Closed boxes open the gate again.
  w = BoxWatch{"zq_gate_probe", 0, 0, "", &report};
  report.ReportError("Not all bytes sent.");
  EXPECT_EQ(w.mostBoxes, 1);
  EXPECT_EQ(w.text, "Not all bytes sent.");
  KillTimer(nullptr, timer);
  watch = nullptr;
}

TEST_F(Win32WindowTest, FatalBoxNamesKindModulePositionAndMessage) {
  BoxWatch w;
  w.caption = "Application Error";
  watch = &w;
  UINT_PTR timer = SetTimer(nullptr, 0, 50, OnTick);
  ShowApplicationError(
      StartupFailure{"ESocketError", "Socket Error # 10091\r\nNetwork down", 0x1A2B});
  KillTimer(nullptr, timer);
  watch = nullptr;
  EXPECT_EQ(w.mostBoxes, 1);
  EXPECT_EQ(w.text,
            "Exception ESocketError in module zq_win32_tests.exe at 00001A2B.\r\n"
            "Socket Error # 10091\r\nNetwork down.\r\n");
}

}  // namespace
}  // namespace zq

#include "platform/win32/win32_window.h"

#include <stdexcept>

#include "app/form_shell.h"
#include "app/paint_box.h"
#include "app/tform1.h"
#include "control/tick_length.h"

namespace zq {
namespace {

constexpr wchar_t kClassName[] = L"TForm1";
// Posted by the tick driver's thread; handled, like every message, on the UI
// thread, also inside the loop of a modal box.
constexpr UINT kTickMessage = WM_APP + 1;

COLORREF ToColorRef(Rgb c) {
  return RGB(c.r, c.g, c.b);
}

struct FaceSearch {
  const wchar_t* face;
  BYTE charset;
  bool found = false;
};

int CALLBACK NoteFace(const LOGFONTW* font, const TEXTMETRICW*, DWORD, LPARAM data) {
  auto* search = reinterpret_cast<FaceSearch*>(data);
  // Only the face itself counts, not a substitute the system offers for it.
  if (lstrcmpiW(font->lfFaceName, search->face) == 0 && font->lfCharSet == search->charset) {
    search->found = true;
    return 0;
  }
  return 1;
}

bool HasFace(HDC dc, const wchar_t* face, BYTE charset) {
  LOGFONTW want{};
  want.lfCharSet = charset;
  lstrcpynW(want.lfFaceName, face, LF_FACESIZE);
  FaceSearch search{face, charset};
  EnumFontFamiliesExW(dc, &want, NoteFace, reinterpret_cast<LPARAM>(&search), 0);
  return search.found;
}

}  // namespace

int LabelTextWidth(HDC dc, const LOGFONTW& face, const wchar_t* text) {
  HFONT font = CreateFontIndirectW(&face);
  if (font == nullptr) return 0;
  HGDIOBJ old = SelectObject(dc, font);
  SIZE extent{};
  GetTextExtentPoint32W(dc, text, lstrlenW(text), &extent);
  SelectObject(dc, old);
  DeleteObject(font);
  return extent.cx;
}

LOGFONTW ChooseLabelFont(HDC dc, const wchar_t* preferredFace) {
  LOGFONTW font{};
  font.lfHeight = -MulDiv(kFontPoints, GetDeviceCaps(dc, LOGPIXELSY), 72);
  font.lfWeight = FW_NORMAL;
  font.lfOutPrecision = OUT_DEFAULT_PRECIS;
  font.lfClipPrecision = CLIP_DEFAULT_PRECIS;
  font.lfQuality = DEFAULT_QUALITY;
  font.lfPitchAndFamily = DEFAULT_PITCH | FF_SWISS;
  auto fits = [dc](const LOGFONTW& f) { return LabelTextWidth(dc, f, kWidestLeftLabel) <= 20; };
  // The flap names are Russian: the face has to carry the Cyrillic letters,
  // whatever the code page of this system says. The left column's widest
  // number has to end before the trim column at x = 20.
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  const bool haveMetrics =
      SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0) != 0;
  const wchar_t* faces[] = {preferredFace, L"Tahoma", L"Arial", L"Liberation Sans",
                            haveMetrics ? metrics.lfMessageFont.lfFaceName : L"Tahoma"};
  bool first = true;
  LOGFONTW fallback = font;
  fallback.lfCharSet = DEFAULT_CHARSET;
  if (haveMetrics) lstrcpynW(fallback.lfFaceName, metrics.lfMessageFont.lfFaceName, LF_FACESIZE);
  for (const wchar_t* face : faces) {
    if (!HasFace(dc, face, RUSSIAN_CHARSET)) continue;
    LOGFONTW candidate = font;
    candidate.lfCharSet = RUSSIAN_CHARSET;
    lstrcpynW(candidate.lfFaceName, face, LF_FACESIZE);
    if (fits(candidate)) return candidate;
    if (first) fallback = candidate;
    first = false;
  }
  // No face fits at 8 points: the first one found, a pixel smaller at a
  // time until it does (not below 6 pixels, where digits stop being read).
  while (!fits(fallback) && fallback.lfHeight < -6) ++fallback.lfHeight;
  return fallback;
}

Win32Window::Win32Window() {
  for (const LabelDesign& d : kLabelDesign) {
    LabelState& s = State(d.label);
    s.color = ToColorRef(d.color);
    s.background = ToColorRef(kNavy);
  }
  for (const LabelDesign& d : kLabelDesign) SetText(d.label, d.text);
  HDC screen = GetDC(nullptr);
  fontSpec_ = ChooseLabelFont(screen);
  ReleaseDC(nullptr, screen);
  font_ = CreateFontIndirectW(&fontSpec_);
}

Win32Window::~Win32Window() {
  if (window_ != nullptr) {
    SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
  }
  if (font_ != nullptr) DeleteObject(font_);
}

bool Win32Window::Create(HINSTANCE instance) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  // the task bar shows the program's own icon (resource 1), when it has one
  wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
  wc.hIconSm = wc.hIcon;
  wc.lpszClassName = kClassName;
  if (RegisterClassExW(&wc) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;

  wchar_t title[32];
  int n = MultiByteToWideChar(CP_UTF8, 0, kWindowTitle.data(),
                              static_cast<int>(kWindowTitle.size()), title, 31);
  title[n] = L'\0';
  // No caption and no frame; the system menu only gives the task-bar entry
  // its Close command.
  window_ = CreateWindowExW(WS_EX_TOPMOST | WS_EX_APPWINDOW, kClassName, title,
                            WS_POPUP | WS_SYSMENU, kDesignLeft, kDesignTop, kDesignWidth,
                            kDesignHeight, nullptr, nullptr, instance, this);
  return window_ != nullptr;
}

void Win32Window::Attach(TForm1& form, ErrorReport& report) {
  form_ = &form;
  report_ = &report;
}

bool Win32Window::StartTimer() {
  traceTicks_ = TickTraceRequested();
  if (!ticks_.Start(window_, kTickMessage, kTickMs)) return false;
  if (traceTicks_) TraceTickSource(ticks_.CurrentSource());
  return true;
}

void Win32Window::Show() {
  // Shown without taking the focus from the simulator.
  ShowWindow(window_, SW_SHOWNOACTIVATE);
  UpdateWindow(window_);
}

void Win32Window::SetText(Label label, std::string_view text) {
  LabelState& s = State(label);
  // Label texts are a few characters; a longer one is cut at a whole
  // character rather than dropped.
  int size = static_cast<int>(text.size());
  int n = 0;
  while (size > 0 && (n = MultiByteToWideChar(CP_UTF8, 0, text.data(), size, s.text.data(),
                                              static_cast<int>(s.text.size()))) == 0) {
    --size;
  }
  s.length = n;
  if (window_ != nullptr) InvalidateRect(window_, nullptr, FALSE);
}

void Win32Window::SetFontColor(Label label, Rgb color) {
  State(label).color = ToColorRef(color);
  if (window_ != nullptr) InvalidateRect(window_, nullptr, FALSE);
}

void Win32Window::SetBackground(Label label, Rgb color) {
  State(label).background = ToColorRef(color);
  if (window_ != nullptr) InvalidateRect(window_, nullptr, FALSE);
}

void Win32Window::RepaintP() {
  if (window_ == nullptr) return;
  RECT p{kPaintBox.left, kPaintBox.top, kPaintBox.left + kPaintBox.width,
         kPaintBox.top + kPaintBox.height};
  InvalidateRect(window_, &p, FALSE);
  UpdateWindow(window_);
}

void Win32Window::Place(const Placement& placement) {
  if (window_ == nullptr) return;
  SetWindowPos(window_, nullptr, placement.left, placement.top, placement.width, placement.height,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

RECT Win32Window::LabelRect(HDC dc, Label label) const {
  const LabelDesign& d = kLabelDesign[static_cast<size_t>(label)];
  const LabelState& s = State(label);
  HGDIOBJ old = SelectObject(dc, font_);
  SIZE extent{};
  GetTextExtentPoint32W(dc, s.text.data(), s.length, &extent);
  SelectObject(dc, old);
  return RECT{d.left, d.top, d.left + extent.cx, d.top + kLabelHeight};
}

void Win32Window::Render(HDC dc) const {
  Render(dc, form_ != nullptr ? form_->PPaint() : PaintColumns{});
}

void Win32Window::Render(HDC dc, const PaintColumns& columns) const {
  RECT all{0, 0, kDesignWidth, kDesignHeight};
  HBRUSH navy = CreateSolidBrush(ToColorRef(kNavy));
  FillRect(dc, &all, navy);
  DeleteObject(navy);
  // Creation order: a later component covers an earlier one; P comes after xp.
  for (size_t i = 0; i < kLabelDesign.size(); ++i) {
    if (i == kLabelsBeforeP) DrawPaintBox(dc, columns);
    Label label = kLabelDesign[i].label;
    const LabelState& s = State(label);
    RECT r = LabelRect(dc, label);
    HGDIOBJ old = SelectObject(dc, font_);
    SetTextColor(dc, s.color);
    SetBkColor(dc, s.background);
    SetBkMode(dc, OPAQUE);
    ExtTextOutW(dc, r.left, r.top, ETO_OPAQUE | ETO_CLIPPED, &r, s.text.data(),
                static_cast<UINT>(s.length), nullptr);
    SelectObject(dc, old);
  }
}

void Win32Window::DrawPaintBox(HDC dc, const PaintColumns& columns) {
  HPEN pen = CreatePen(PS_SOLID, 1, ToColorRef(kWhite));
  HGDIOBJ old = SelectObject(dc, pen);
  for (int i = 1; i <= 20; ++i) {
    PaintRows rows = PaintColumnRows(columns[static_cast<size_t>(i - 1)]);
    if (rows.first > rows.last) continue;
    int x = kPaintBox.left + i;
    // The end point of a line is not drawn.
    MoveToEx(dc, x, kPaintBox.top + rows.first, nullptr);
    LineTo(dc, x, kPaintBox.top + rows.last + 1);
  }
  SelectObject(dc, old);
  DeleteObject(pen);
}

void Win32Window::Paint() {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(window_, &ps);
  // Drawn off screen first: the labels overlap and would flicker.
  HDC memory = CreateCompatibleDC(dc);
  HBITMAP bitmap = CreateCompatibleBitmap(dc, kDesignWidth, kDesignHeight);
  HGDIOBJ old = SelectObject(memory, bitmap);
  Render(memory);
  BitBlt(dc, ps.rcPaint.left, ps.rcPaint.top, ps.rcPaint.right - ps.rcPaint.left,
         ps.rcPaint.bottom - ps.rcPaint.top, memory, ps.rcPaint.left, ps.rcPaint.top, SRCCOPY);
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  EndPaint(window_, &ps);
}

void Win32Window::Tick() {
  // The next tick is timed from this one's start, whatever this one does.
  const int64_t started = ticks_.BeginTick();
  if (traceTicks_) TraceTick(started);
  if (form_ == nullptr || report_ == nullptr) return;
  try {
    const TickOutcome outcome = RunTick(*form_, *report_);
    if (run_ != nullptr) {
      run_->AfterTick(form_->State(), form_->StickPinErrors(), outcome);
    }
  } catch (const std::exception& e) {
    // Nothing may unwind through the system's window procedure.
    report_->ReportError(MakeReportText(e.what()).View());
  }
}

LRESULT Win32Window::OnMessage(UINT message, WPARAM wp, LPARAM lp) {
  switch (message) {
    case kTickMessage:
      Tick();
      return 0;
    case WM_TIMER:
      if (wp == Win32TickTimer::kWindowTimerId) Tick();  // the driver's last resort
      return 0;
    case WM_PAINT:
      Paint();
      return 0;
    case WM_ERASEBKGND:
      return 1;  // Render paints every pixel
    case WM_MOUSEACTIVATE:
      return MA_NOACTIVATE;  // a click must not take the focus from the simulator
    case WM_DESTROY:
      ticks_.Stop();
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(window_, message, wp, lp);
  }
}

LRESULT CALLBACK Win32Window::WindowProc(HWND window, UINT message, WPARAM wp, LPARAM lp) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<Win32Window*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
    self->window_ = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<Win32Window*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcW(window, message, wp, lp);
  if (message == WM_NCDESTROY) {
    self->window_ = nullptr;
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    return DefWindowProcW(window, message, wp, lp);
  }
  return self->OnMessage(message, wp, lp);
}

}  // namespace zq

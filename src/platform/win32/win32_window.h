// The panel as a plain Win32 window: borderless, top-most, with a task-bar
// entry; the labels and the curve in P are drawn here with GDI.
//
// Done: labels (opaque, sized to their text, UTF-8 texts drawn with the W
// calls), font colours, f's background, the paint box P, placement, the 50 ms
// timer, close from the task bar. Not done: no input is taken from the window
// itself (the tick polls), and a click never activates it.
#pragma once

#include <windows.h>

#include <array>
#include <string>
#include <string_view>

#include "app/error_report.h"
#include "app/form_design.h"
#include "app/paint_box.h"
#include "app/run_report.h"
#include "app/window_view.h"
#include "platform/win32/win32_tick_timer.h"

namespace zq {

class TForm1;

// The widest text of the left column, which must end before x = 20.
constexpr wchar_t kWidestLeftLabel[] = L"-100";

// 8 pt, sized for `dc`, in the first face that has Cyrillic letters and in
// which "-100" is at most 20 pixels wide: `preferredFace` ("MS Sans Serif"),
// Tahoma, Arial, Liberation Sans, the system's message font. When none fits,
// the first of them found (else the message font) at the largest size that
// fits.
LOGFONTW ChooseLabelFont(HDC dc, const wchar_t* preferredFace = L"MS Sans Serif");
// Pixel width of `text` drawn in `font` on `dc`.
int LabelTextWidth(HDC dc, const LOGFONTW& font, const wchar_t* text);

class Win32Window : public WindowView {
 public:
  Win32Window();
  ~Win32Window() override;
  Win32Window(const Win32Window&) = delete;
  Win32Window& operator=(const Win32Window&) = delete;

  // Makes the hidden window at the design's place and size; false with the
  // system's error code in GetLastError when it cannot be made.
  bool Create(HINSTANCE instance);
  // Where ticks and P's curve come from; errors of a tick go to `report`.
  void Attach(TForm1& form, ErrorReport& report);
  // Lines about sticks and sends after each tick; `answers` is the devices
  // the form polls through.
  void AttachRunReport(RunReport& run, const AnswerWatch& answers) {
    run_ = &run;
    answers_ = &answers;
  }
  // Timer1: a tick every 50 ms on this thread, never overlapping, never
  // made up (Win32TickTimer).
  bool StartTimer();
  void Show();
  HWND Handle() const { return window_; }

  // WindowView
  void SetText(Label label, std::string_view text) override;
  void SetFontColor(Label label, Rgb color) override;
  void SetBackground(Label label, Rgb color) override;
  void RepaintP() override;
  void Place(const Placement& placement) override;

  // Draws the whole panel (window coordinates) into `dc`.
  void Render(HDC dc) const;
  // The same with P's columns given: zq-setup's preview draws the panel so.
  void Render(HDC dc, const PaintColumns& columns) const;
  // The label's rectangle as last drawn by Render (sized to its text).
  RECT LabelRect(HDC dc, Label label) const;
  const LOGFONTW& Font() const { return fontSpec_; }

 private:
  struct LabelState {
    std::array<wchar_t, 64> text{};
    int length = 0;
    COLORREF color = 0;
    COLORREF background = 0;
  };
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wp, LPARAM lp);
  LRESULT OnMessage(UINT message, WPARAM wp, LPARAM lp);
  void Paint();
  void Tick();
  static void DrawPaintBox(HDC dc, const PaintColumns& columns);
  const LabelState& State(Label label) const { return labels_[static_cast<size_t>(label)]; }
  LabelState& State(Label label) { return labels_[static_cast<size_t>(label)]; }

  HWND window_ = nullptr;
  HFONT font_ = nullptr;
  LOGFONTW fontSpec_{};
  std::array<LabelState, kLabelCount> labels_{};
  TForm1* form_ = nullptr;
  ErrorReport* report_ = nullptr;
  RunReport* run_ = nullptr;
  const AnswerWatch* answers_ = nullptr;
  Win32TickTimer ticks_;
  bool traceTicks_ = false;
};

}  // namespace zq

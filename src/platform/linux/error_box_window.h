// The error box drawn by this program itself: SDL2 + SDL2_ttf with DejaVu
// Sans, so it needs nothing beyond what the panel needs (no X core fonts, no
// helper process of SDL's).
#pragma once

#include <string>
#include <string_view>

namespace zq {

// The X property of the box window that holds the text it shows, for tools
// that read windows (screen readers, the tests).
constexpr const char* kBoxTextProperty = "_ZQ_BOX_TEXT";

enum class BoxEnd {
  closed,     // OK, Enter, Escape or the window's close button
  abandoned,  // `watchFd` became readable: whoever asked for the box is gone
  failed,     // no box could be shown; `error` says why
};

// Shows a modal box with `title`, the UTF-8 `text` (line breaks kept) and an
// OK button, and waits until it is closed. With `watchFd` >= 0 it also ends
// as soon as that descriptor is readable (or at its end of file). A non-zero
// `owner` is the X window the box belongs to (its transient) and stands
// clear of. The box never takes the keyboard from whoever has it: a click
// gives it.
BoxEnd ShowBoxWindow(const std::string& title, const std::string& text, int watchFd,
                     unsigned long owner, std::string& error);

}  // namespace zq

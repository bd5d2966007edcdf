// zq_box_probe CAPTION SECONDS [--ok]
// Waits for a message box with that caption in this wine prefix (or Windows
// session), prints its text on standard output and, with --ok, presses OK.
// Exit code 0 when found, 2 when no such box came.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

struct BoxText {
  std::string text;
};

BOOL CALLBACK TakeStaticText(HWND child, LPARAM data) {
  char cls[32] = {};
  GetClassNameA(child, cls, sizeof cls);
  if (lstrcmpiA(cls, "Static") != 0) return TRUE;
  char text[4096] = {};
  int n = GetWindowTextA(child, text, sizeof text);
  if (n > 0) {
    reinterpret_cast<BoxText*>(data)->text.assign(text, static_cast<size_t>(n));
    return FALSE;
  }
  return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: zq_box_probe CAPTION SECONDS [--ok]\n");
    return 64;
  }
  const char* caption = argv[1];
  DWORD waitMs = static_cast<DWORD>(std::atof(argv[2]) * 1000);
  bool pressOk = argc > 3 && std::strcmp(argv[3], "--ok") == 0;
  DWORD start = GetTickCount();
  for (;;) {
    // "#32770" is the class of dialog boxes, message boxes included.
    if (HWND box = FindWindowA("#32770", caption)) {
      BoxText found;
      EnumChildWindows(box, TakeStaticText, reinterpret_cast<LPARAM>(&found));
      std::fwrite(found.text.data(), 1, found.text.size(), stdout);
      std::fflush(stdout);
      if (pressOk) PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
      return 0;
    }
    if (GetTickCount() - start > waitMs) return 2;
    Sleep(50);
  }
}

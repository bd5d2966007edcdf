#include "platform/linux/x11_lost_server.h"

#include <X11/Xlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace zq {
namespace {

char title[128];

int LostServer(Display* display) {
  char line[512];
  const char* name = display != nullptr ? DisplayString(display) : "";
  int n = std::snprintf(line, sizeof line,
                        "%s: lost the connection to the X server \"%s\"; ending\n", title, name);
  if (n > static_cast<int>(sizeof line) - 1) {
    n = static_cast<int>(sizeof line) - 1;
    line[n - 1] = '\n';
  }
  if (n > 0) (void)!::write(STDERR_FILENO, line, static_cast<size_t>(n));
  // Xlib cannot go on with the connection: no return from here.
  ::_exit(1);
}

}  // namespace

void EndWhenXServerGoes(const std::string& programTitle) {
  std::snprintf(title, sizeof title, "%s", programTitle.c_str());
  XSetIOErrorHandler(LostServer);
}

}  // namespace zq

// The session token: 128 bits from the operating system's random source.
#include <cstdint>
#include <string>

#include "zq_setup/ui/ui_http.h"

#ifdef _WIN32
#include <windows.h>
// after windows.h
#include <bcrypt.h>
#else
#include <sys/random.h>
#endif

namespace zq::setup::ui {

std::string NewToken() {
  uint8_t bytes[16];
#ifdef _WIN32
  if (BCryptGenRandom(nullptr, bytes, sizeof bytes, BCRYPT_USE_SYSTEM_PREFERRED_RNG) != 0)
    return "";
#else
  size_t got = 0;
  while (got < sizeof bytes) {
    ssize_t n = getrandom(bytes + got, sizeof bytes - got, 0);
    if (n <= 0) return "";
    got += static_cast<size_t>(n);
  }
#endif
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  for (uint8_t b : bytes) {
    out += kHex[b >> 4];
    out += kHex[b & 15];
  }
  return out;
}

}  // namespace zq::setup::ui

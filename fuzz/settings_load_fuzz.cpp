// The whole settings load on any bytes as Setup.ini, then a few ticks with
// devices shaken by a seed taken from the same bytes: the load ends in one of
// its two ways and every tick keeps the kit's invariants (the bad-input unit
// test runs the same checks on inputs of its own).
#include <cstdio>
#include <string>
#include <string_view>

#include "kit/fakes.h"
#include "kit/invariants.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  std::string broken = zq::test::LoadAndShake(text, zq::test::HashBytes(text));
  if (!broken.empty()) zq::test::Broken(broken.c_str(), __FILE__, __LINE__);
  return 0;
}

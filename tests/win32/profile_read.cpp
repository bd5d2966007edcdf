// Prints what the system's own profile call reads: profile_read FILE SECTION KEY.
#include <windows.h>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  char value[2048] = {};
  GetPrivateProfileStringA(argv[2], argv[3], "<unset>", value, sizeof value, argv[1]);
  std::printf("%s\n", value);
  return 0;
}

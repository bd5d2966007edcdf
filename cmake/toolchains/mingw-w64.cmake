# Cross-builds the Windows program with MinGW-w64 on Debian/Ubuntu.
#
# The -posix compilers are required: the default "win32" thread model of the
# Debian packages lacks std::mutex, which GoogleTest needs.
#
#   cmake --preset mingw        (uses this file)
#   ctest --preset mingw        (runs the .exe tests through wine)
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ZQ_MINGW_PREFIX x86_64-w64-mingw32 CACHE STRING "MinGW-w64 target triple")
set(CMAKE_C_COMPILER ${ZQ_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZQ_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${ZQ_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ZQ_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test executables run under wine; its 64-bit loader is not on PATH in Debian.
find_program(ZQ_WINE_LOADER NAMES wine64 wine
  PATHS /usr/lib/wine /usr/lib/x86_64-linux-gnu/wine /opt/wine-stable/bin
  NO_CMAKE_FIND_ROOT_PATH)
if(ZQ_WINE_LOADER)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${ZQ_WINE_LOADER})
endif()

# Every program of this build runs without the MinGW runtime DLLs (wine finds
# none of them, and the panel is copied alone next to the simulator).
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

#!/usr/bin/env bash
# The Windows program: cross-built with MinGW-w64 (preset "mingw") and tested
# under wine64 on a private X server. Needs the packages of
# scripts/packages/windows.txt (scripts/deps.sh installs them).
# Arguments go to ctest (for instance -R '^win32[.]' for the Windows suite).
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$(pwd)
build=$root/build/mingw

loader=""
for candidate in /usr/lib/wine/wine64 /usr/lib/x86_64-linux-gnu/wine/wine64 "$(command -v wine64 || true)"; do
  if [ -n "$candidate" ] && [ -x "$candidate" ]; then loader=$candidate; break; fi
done
missing=()
command -v x86_64-w64-mingw32-g++-posix >/dev/null || missing+=(g++-mingw-w64-x86-64-posix)
[ -n "$loader" ] || missing+=(wine64)
command -v Xvfb >/dev/null || missing+=(xvfb)
command -v xdotool >/dev/null || missing+=(xdotool)
command -v xwininfo >/dev/null || missing+=(x11-utils)
[ -f /usr/src/googletest/CMakeLists.txt ] || missing+=(googletest)
if [ ${#missing[@]} -ne 0 ]; then
  echo "20-windows: missing ${missing[*]}; run: bash scripts/deps.sh windows" >&2
  exit 1
fi
wineserver=$(dirname "$loader")/wineserver
[ -x "$wineserver" ] || wineserver=$(command -v wineserver || echo wineserver)

jobs=$(nproc 2>/dev/null || echo 2)
cmake --preset mingw >/dev/null
cmake --build --preset mingw -j"$jobs"

# A fresh prefix and a display of our own; both go away at the end.
export WINEPREFIX=$build/wineprefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=,winemenubuilder.exe=d"
export WINEARCH=win64
. scripts/lib/xvfb.sh
cleanup() {
  "$wineserver" -k >/dev/null 2>&1 || true
  xvfb_stop
  rm -rf "$WINEPREFIX"
}
trap cleanup EXIT

xvfb_start 1280x1024x24 || { echo "20-windows: no X server" >&2; exit 1; }

rm -rf "$WINEPREFIX"
"$loader" wineboot -i >/dev/null 2>&1
"$wineserver" -w
# Debian's wine 8 leaves C:\windows\Fonts empty; a Windows system has its
# fonts there ("MS Sans Serif", Tahoma), and the panel's font choice is tested.
for dir in /usr/share/wine/fonts /usr/lib/wine/fonts; do
  if [ -d "$dir" ]; then cp -n "$dir"/* "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true; break; fi
done

# Each test is its own wine process; the prefix's server stays up meanwhile,
# and one first run pays wine's start-up costs before ctest's discovery
# (which allows each test program 5 s to list its tests).
"$wineserver" -p 60
"$loader" "$build/tests/zq_unit_tests.exe" --gtest_list_tests >/dev/null 2>&1 || true
# The player tools' runs of zq-check and zq-listen start the programs without
# wine and are not meant for this build.
ctest --preset mingw -j"$jobs" -E '^tools[.](check|listen)[.]' "$@"

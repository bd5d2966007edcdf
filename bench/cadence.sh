#!/usr/bin/env bash
# Tick cadence of the panels: the Linux panel under Xvfb and the Windows
# program under wine + Xvfb, each idle on default settings for a while with
# ZQ_TICK_TRACE=1, which makes it write the start of every tick (monotonic
# microseconds) to standard error. Prints the spacing of the ticks: mean,
# standard deviation, p99, shortest and longest. A measurement, not a test.
#   bench/cadence.sh [--seconds N] [--linux PANEL|none] [--windows EXE|none] [--keep DIR]
#                    [--hold KEY|none]
# The Linux panel leaves out ticks while nothing is held, so a key it
# watches is held down (xdotool) for its run: --hold names it (default i,
# the power key of the default settings); --hold none measures it idle with
# ZQ_TICK_SKIP=0.
# Defaults: 30 s; build/default/src/platform/linux/zq-thrust and
# build/mingw/src/platform/win32/zq-thrust.exe (cmake --preset mingw).
# --keep DIR keeps the traces there (linux.trace, windows.trace).
# Target on Linux: mean 50.0 +- 0.5 ms, p99 <= 55 ms.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
seconds=30
linux_panel=$repo/build/default/src/platform/linux/zq-thrust
windows_exe=$repo/build/mingw/src/platform/win32/zq-thrust.exe
keep=''
hold=i
while [ $# -gt 0 ]; do
  case $1 in
    --seconds) seconds=$2; shift 2 ;;
    --linux) linux_panel=$2; shift 2 ;;
    --windows) windows_exe=$2; shift 2 ;;
    --keep) keep=$2; shift 2 ;;
    --hold) hold=$2; shift 2 ;;
    *) echo "usage: $0 [--seconds N] [--linux PANEL|none] [--windows EXE|none] [--keep DIR] [--hold KEY|none]" >&2; exit 2 ;;
  esac
done
. "$repo/scripts/lib/xvfb.sh"

work=$(mktemp -d)
panel_pid='' wineserver=''
cleanup() {
  if [ -n "$panel_pid" ]; then kill "$panel_pid" 2>/dev/null || true; wait "$panel_pid" 2>/dev/null || true; fi
  if [ -n "$wineserver" ]; then WINEPREFIX=$work/wineprefix "$wineserver" -k 2>/dev/null || true; fi
  xvfb_stop
  rm -rf "$work"
}
trap cleanup EXIT

xvfb_start 1920x1080x24 || exit 1

# Spacing of the "tick US" lines of a trace, after the first second (start-up).
report() {
  local name=$1 trace=$2
  if [ -n "$keep" ]; then mkdir -p "$keep" && cp "$trace" "$keep/"; fi
  awk '$1 == "tick" && $2 ~ /^[0-9]+$/ {print $2}' "$trace" |
    awk 'NR > 1 {print ($1 - last) / 1000} {last = $1}' | tail -n +20 | sort -n >"$work/spacing"
  if [ ! -s "$work/spacing" ]; then
    echo "$name: no ticks traced" >&2
    return 1
  fi
  awk -v name="$name" '{ d[NR] = $1; sum += $1; sq += $1 * $1 }
    END {
      n = NR; mean = sum / n; var = sq / n - mean * mean; if (var < 0) var = 0
      p = int(0.99 * n + 0.999999); if (p < 1) p = 1; if (p > n) p = n
      printf "%-8s %5d spacings: mean %.3f ms, sd %.3f ms, p99 %.3f ms, shortest %.3f ms, longest %.3f ms\n",
        name, n, mean, sqrt(var), d[p], d[1], d[n]
    }' "$work/spacing"
}

if [ "$linux_panel" != none ]; then
  [ -x "$linux_panel" ] || { echo "no Linux panel at $linux_panel (build it, name it, or --linux none)" >&2; exit 1; }
  linux_panel=$(realpath "$linux_panel")
  mkdir "$work/linux"
  skip=1
  [ "$hold" = none ] && skip=0
  (cd "$work/linux" && ZQ_TICK_TRACE=1 ZQ_TICK_SKIP=$skip exec "$linux_panel" 2>"$work/linux.trace") &
  panel_pid=$!
  sleep 1
  [ "$hold" = none ] || xdotool keydown "$hold"
  if ! kill -0 "$panel_pid" 2>/dev/null; then
    echo "the Linux panel ended at start (another copy running holds ZQ-test-joy?):" >&2
    cat "$work/linux.trace" >&2
    exit 1
  fi
  sleep "$seconds"
  [ "$hold" = none ] || xdotool keyup "$hold"
  kill "$panel_pid"
  wait "$panel_pid" || true
  panel_pid=''
  report linux "$work/linux.trace"
fi

if [ "$windows_exe" != none ]; then
  [ -f "$windows_exe" ] || { echo "no zq-thrust.exe at $windows_exe (cmake --preset mingw && cmake --build --preset mingw, or --windows none)" >&2; exit 1; }
  windows_exe=$(realpath "$windows_exe")
  loader=''
  for candidate in /usr/lib/wine/wine64 /usr/lib/x86_64-linux-gnu/wine/wine64 "$(command -v wine64 || true)"; do
    if [ -n "$candidate" ] && [ -x "$candidate" ]; then loader=$candidate; break; fi
  done
  [ -n "$loader" ] || { echo "wine64 is missing (bash scripts/deps.sh windows)" >&2; exit 1; }
  wineserver=$(dirname "$loader")/wineserver
  [ -x "$wineserver" ] || wineserver=$(command -v wineserver)
  export WINEPREFIX=$work/wineprefix WINEDEBUG=-all WINEARCH=win64
  export WINEDLLOVERRIDES="mscoree,mshtml=,winemenubuilder.exe=d"
  "$loader" wineboot -i >/dev/null 2>&1
  "$wineserver" -w
  mkdir "$work/windows"
  (cd "$work/windows" && ZQ_TICK_TRACE=1 exec "$loader" "$windows_exe" 2>"$work/windows.trace") &
  panel_pid=$!
  # wine's own start takes a moment before the panel ticks.
  for _ in $(seq 100); do grep -q '^tick [0-9]' "$work/windows.trace" 2>/dev/null && break; sleep 0.1; done
  sleep "$seconds"
  "$wineserver" -k 2>/dev/null || true
  wait "$panel_pid" 2>/dev/null || true
  panel_pid=''
  grep -v '^tick [0-9]' "$work/windows.trace" | head -n 3 || true
  report windows "$work/windows.trace"
fi
# Other work on the machine shows in the longest gaps.
echo "load average (1, 5, 15 min): $(cut -d' ' -f1-3 /proc/loadavg)"

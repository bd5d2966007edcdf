#!/usr/bin/env bash
# Footprint of the Linux panel beside qjoypad, Debian's joystick-to-keyboard
# companion, which also runs all evening beside a game: CPU time over a
# stretch of idle ticks and memory, both programs started at the same time
# under the same Xvfb. A measurement, not a test.
#   bench/footprint.sh [ZQ-THRUST] [SECONDS]
# ZQ-THRUST defaults to build/default's panel (then build/linux's); SECONDS
# to 60. qjoypad is installed with apt-get when it is missing and we are root.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
seconds=${2:-60}
panel=${1:-}
if [ -z "$panel" ]; then
  for candidate in "$repo/build/default/src/platform/linux/zq-thrust" \
                   "$repo/build/linux/src/platform/linux/zq-thrust"; do
    [ -x "$candidate" ] && { panel=$candidate; break; }
  done
fi
[ -n "$panel" ] && [ -x "$panel" ] || {
  echo "footprint: no panel found; build it (cmake --preset default && cmake --build --preset default) or name it" >&2
  exit 1
}
panel=$(realpath "$panel")
. "$repo/scripts/lib/xvfb.sh"
if ! command -v qjoypad >/dev/null; then
  if [ "$(id -u)" -eq 0 ] && command -v apt-get >/dev/null; then
    echo "footprint: installing qjoypad" >&2
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends qjoypad >/dev/null
  else
    echo "footprint: qjoypad is missing (sudo apt-get install qjoypad)" >&2
    exit 1
  fi
fi

work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
  xvfb_stop
  rm -rf "$work"
}
trap cleanup EXIT

xvfb_start 1920x1080x24 || exit 1
mkdir -m 700 "$work/run" "$work/panel" "$work/qjoypad"
export XDG_RUNTIME_DIR=$work/run

# As root, each program gets a network namespace of its own (loopback up):
# the panel's instance name and its datagrams then never meet another copy
# that a test on this machine may be running.
isolated() {
  if [ "$(id -u)" -eq 0 ] && command -v unshare >/dev/null && command -v ip >/dev/null; then
    exec unshare --net sh -c 'ip link set lo up && exec "$@"' sh "$@"
  fi
  exec "$@"
}

# A player's idle panel (default settings, no stick, nothing pressed) and an
# idle qjoypad (no tray under Xvfb, its own empty layout folder).
(cd "$work/panel" && isolated "$panel") >"$work/panel.log" 2>&1 &
panel_pid=$!
pids+=("$panel_pid")
(cd "$work/qjoypad" && HOME=$work/qjoypad isolated qjoypad --notray) >"$work/qjoypad.log" 2>&1 &
qjoypad_pid=$!
pids+=("$qjoypad_pid")
sleep 3
for p in "$panel_pid:zq-thrust" "$qjoypad_pid:qjoypad"; do
  kill -0 "${p%%:*}" 2>/dev/null || {
    echo "footprint: ${p#*:} ended at start:" >&2
    cat "$work/${p#*:}.log" "$work/panel.log" 2>/dev/null | head -n 20 >&2
    exit 1
  }
done

# CPU time in nanoseconds of every thread of a process.
cpu_ns() { cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{s += $1} END {print s + 0}'; }
kb() { awk -v k="$2" '$1 == k":" {print $2}' "/proc/$1/$3"; }

p0=$(cpu_ns "$panel_pid") q0=$(cpu_ns "$qjoypad_pid") t0=$(date +%s.%N)
sleep "$seconds"
p1=$(cpu_ns "$panel_pid") q1=$(cpu_ns "$qjoypad_pid") t1=$(date +%s.%N)
prss=$(kb "$panel_pid" VmRSS status) qrss=$(kb "$qjoypad_pid" VmRSS status)
ppss=$(kb "$panel_pid" Pss smaps_rollup) qpss=$(kb "$qjoypad_pid" Pss smaps_rollup)

awk -v p0="$p0" -v p1="$p1" -v q0="$q0" -v q1="$q1" -v t0="$t0" -v t1="$t1" \
    -v prss="$prss" -v qrss="$qrss" -v ppss="$ppss" -v qpss="$qpss" -v panel="$panel" 'BEGIN {
  wall = t1 - t0
  pc = (p1 - p0) / 1e9; qc = (q1 - q0) / 1e9
  printf "idle footprint over %.1f s under Xvfb 1920x1080 (%s)\n", wall, panel
  printf "%-10s %10s %10s %10s %10s\n", "program", "CPU s", "% core", "RSS MB", "PSS MB"
  printf "%-10s %10.3f %10.3f %10.1f %10.1f\n", "zq-thrust", pc, 100 * pc / wall, prss / 1024, ppss / 1024
  printf "%-10s %10.3f %10.3f %10.1f %10.1f\n", "qjoypad", qc, 100 * qc / wall, qrss / 1024, qpss / 1024
  if (qc > 0) printf "zq-thrust / qjoypad: CPU %.2f, ", pc / qc
  else printf "zq-thrust / qjoypad: CPU - (qjoypad never ran: it waits for events, the panel ticks 20 times a second), "
  printf "RSS %.2f, PSS %.2f\n", prss / qrss, ppss / qpss
}'
echo "load average during the run: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"

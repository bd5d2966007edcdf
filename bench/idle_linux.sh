#!/usr/bin/env bash
# Idle cost of the Linux panel: CPU time over a stretch of idle ticks under
# Xvfb, wake-ups per second, and resident memory. A measurement, not a test.
#   bench/idle_linux.sh [ZQ-THRUST] [SECONDS]
# Targets: under 0.5 % of one core, under 30 MB resident.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
panel=$(realpath "${1:-$repo/build/default/src/platform/linux/zq-thrust}")
seconds=${2:-60}
[ -x "$panel" ] || { echo "no panel at $panel (build it, or name it)" >&2; exit 1; }
. "$repo/scripts/lib/xvfb.sh"

work=$(mktemp -d)
panel_pid=''
cleanup() {
  [ -n "$panel_pid" ] && kill "$panel_pid" 2>/dev/null && wait "$panel_pid" 2>/dev/null
  xvfb_stop
  rm -rf "$work"
}
trap cleanup EXIT

xvfb_start 1920x1080x24 || exit 1

# A player's idle panel: default settings, no stick, nothing pressed.
(cd "$work" && exec "$panel") &
panel_pid=$!
sleep 2
if ! kill -0 "$panel_pid" 2>/dev/null; then
  echo "the panel ended at start (another copy running holds ZQ-test-joy?)" >&2
  exit 1
fi

cpu_ns() { awk '{print $1}' "/proc/$panel_pid/schedstat"; }
wakeups() { awk '/^voluntary_ctxt_switches/ {v=$2} /^nonvoluntary_ctxt_switches/ {n=$2} END {print v+n}' "/proc/$panel_pid/status"; }
cpu0=$(cpu_ns) wake0=$(wakeups) t0=$(date +%s.%N)
sleep "$seconds"
cpu1=$(cpu_ns) wake1=$(wakeups) t1=$(date +%s.%N)
rss=$(awk '/^VmRSS/ {print $2}' "/proc/$panel_pid/status")
hwm=$(awk '/^VmHWM/ {print $2}' "/proc/$panel_pid/status")

awk -v c0="$cpu0" -v c1="$cpu1" -v w0="$wake0" -v w1="$wake1" -v t0="$t0" -v t1="$t1" \
    -v rss="$rss" -v hwm="$hwm" 'BEGIN {
  wall = t1 - t0
  cpu = (c1 - c0) / 1e9
  printf "idle run:      %.1f s of wall time\n", wall
  printf "CPU time:      %.3f s = %.3f %% of one core (target < 0.5 %%)\n", cpu, 100 * cpu / wall
  printf "wake-ups:      %.1f per second (ticks are 20 per second)\n", (w1 - w0) / wall
  printf "resident:      %.1f MB now, %.1f MB peak (target < 30 MB)\n", rss / 1024, hwm / 1024
}'

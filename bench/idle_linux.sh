#!/usr/bin/env bash
# Idle cost of the Linux panel beside the floor of any 20 Hz poller, all in
# one run under Xvfb: a bare loop on a 50 ms timerfd (bench/timerfd_loop.c,
# built here), the panel with tick skipping off (ZQ_TICK_SKIP=0) and the
# panel as shipped (skipping on), each idle on settings where nothing is
# held; then the panel on the built-in defaults (no Setup.ini: the Y axis
# and the buttons on joystick 0), without a stick and with a connected test
# stick (ZQ_TEST_STICK) left still. CPU over all threads from /proc/PID/task/*/schedstat, wake-ups from
# the threads' context switches, resident memory. A measurement, not a test.
#   bench/idle_linux.sh [ZQ-THRUST] [SECONDS]
# Targets: skipping off at most 1.5x the loop's CPU; skipping on fewer than
# 2 wake-ups a second and less CPU than the loop; under 30 MB resident.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
panel=$(realpath "${1:-$repo/build/default/src/platform/linux/zq-thrust}")
seconds=${2:-60}
[ -x "$panel" ] || { echo "no panel at $panel (build it, or name it)" >&2; exit 1; }
. "$repo/scripts/lib/xvfb.sh"
cc=$(command -v cc || command -v gcc || true)
[ -n "$cc" ] || { echo "no C compiler (package build-essential)" >&2; exit 1; }

work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; wait "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

"$cc" -O2 -o "$work/timerfd_loop" "$repo/bench/timerfd_loop.c"

# One X server per panel: the panel's single-instance name is per display.
xserver() {
  xvfb_start 1920x1080x24 || exit 1
  pids+=("$xvfb_pid")
  xvfb_pid=''
  display=$DISPLAY
}

# A player's idle panel: a keyboard Y axis (no stick to wait for), nothing
# pressed; "defaults" runs without Setup.ini, "stick" adds the test stick.
start_panel() {
  local name=$1 skip=$2 settings=${3:-keyboard} display stick=''
  xserver "$name"
  mkdir "$work/$name"
  [ "$settings" = keyboard ] && printf '[main]\r\nYaxis=-1 0\r\n' >"$work/$name/Setup.ini"
  if [ "$settings" = stick ]; then
    stick=$work/$name.stick
    mkfifo "$stick"
  fi
  (cd "$work/$name" && DISPLAY=$display ZQ_TICK_SKIP=$skip ZQ_TEST_STICK=$stick \
    exec "$panel" 2>"$work/$name.err") &
  pids+=($!)
  echo $! >"$work/$name.pid"
}

"$work/timerfd_loop" &
pids+=($!)
echo $! >"$work/loop.pid"
start_panel panel-skip-off 0
start_panel panel-skip-on 1
start_panel panel-defaults 1 defaults
start_panel panel-stick 1 stick
names="loop panel-skip-off panel-skip-on panel-defaults panel-stick"
sleep 3
for name in ${names#loop }; do
  if ! kill -0 "$(cat "$work/$name.pid")" 2>/dev/null; then
    echo "$name ended at start:" >&2
    cat "$work/$name.err" >&2
    exit 1
  fi
done

# CPU nanoseconds and context switches, summed over the process's threads.
sample() {
  local pid=$1 cpu=0 wake=0 t
  for t in /proc/"$pid"/task/*; do
    cpu=$((cpu + $(cut -d' ' -f1 "$t/schedstat")))
    wake=$((wake + $(awk '/^(non)?voluntary_ctxt_switches/ {s += $2} END {print s}' "$t/status")))
  done
  echo "$cpu $wake"
}
declare -A before
for name in $names; do before[$name]=$(sample "$(cat "$work/$name.pid")"); done
t0=$(date +%s.%N)
sleep "$seconds"
t1=$(date +%s.%N)

printf '%-16s %12s %14s %12s\n' program "CPU µs/s" "wake-ups/s" "resident MB"
for name in $names; do
  pid=$(cat "$work/$name.pid")
  read -r c1 w1 <<<"$(sample "$pid")"
  read -r c0 w0 <<<"${before[$name]}"
  rss=$(awk '/^VmRSS/ {print $2}' "/proc/$pid/status")
  awk -v n="$name" -v c0="$c0" -v c1="$c1" -v w0="$w0" -v w1="$w1" -v t0="$t0" -v t1="$t1" \
      -v rss="$rss" 'BEGIN {
    wall = t1 - t0
    printf "%-16s %12.1f %14.2f %12.1f\n", n, (c1 - c0) / 1e3 / wall, (w1 - w0) / wall, rss / 1024
  }' | tee -a "$work/table"
done
awk '{cpu[$1] = $2; wake[$1] = $3}
  END {
    printf "skip off / loop: %.2fx (target <= 1.5x)\n", cpu["panel-skip-off"] / cpu["loop"]
    printf "skip on / loop:  %.2fx CPU (target < 1x), %.2f wake-ups/s (target < 2)\n",
      cpu["panel-skip-on"] / cpu["loop"], wake["panel-skip-on"]
    printf "defaults / loop: %.2fx CPU, %.2f wake-ups/s; with a still stick %.2fx, %.2f/s\n",
      cpu["panel-defaults"] / cpu["loop"], wake["panel-defaults"],
      cpu["panel-stick"] / cpu["loop"], wake["panel-stick"]
  }' "$work/table"
echo "idle for $seconds s each, side by side; load average: $(cut -d' ' -f1-3 /proc/loadavg)"

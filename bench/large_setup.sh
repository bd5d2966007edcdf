#!/usr/bin/env bash
# Start-up time and peak memory of the Linux panel on a large Setup.ini, under
# Xvfb. A measurement, not a test.
#   bench/large_setup.sh [ZQ-THRUST] [MEGABYTES] [comments|keys]
# comments: the quiet settings, then comment lines (a file padded by hand);
# keys: then one short key line after another (the worst an allowed file does).
# Prints the seconds from the start to the window and the peak resident size.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
panel=$(realpath "${1:-$repo/build/default/src/platform/linux/zq-thrust}")
megabytes=${2:-10}
kind=${3:-comments}
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

python3 - "$work/Setup.ini" "$megabytes" "$kind" <<'PY'
import sys
path, size, kind = sys.argv[1], int(float(sys.argv[2]) * 1_000_000), sys.argv[3]
head = b"[main]\r\nYaxis=-1 0\r\n"
line = b"; a remark that the panel skips, one line after another, to the end\r\n" \
    if kind == "comments" else b"k=v\n"
with open(path, "wb") as f:
    f.write(head + line * ((size - len(head)) // len(line)))
PY

xvfb_start 1920x1080x24 || exit 1

t0=$(date +%s.%N)
(cd "$work" && exec "$panel" 2>"$work/stderr") &
panel_pid=$!
until xwininfo -root -tree 2>/dev/null | grep -q '"ZQ - Thrust"'; do
  kill -0 "$panel_pid" 2>/dev/null || { echo "the panel ended:" >&2; cat "$work/stderr" >&2; exit 1; }
  sleep 0.01
done
t1=$(date +%s.%N)
sleep 1
peak=$(awk '/^VmHWM/ {print $2}' "/proc/$panel_pid/status")
printf '%s MB (%s): window after %.2f s, peak resident %d MB\n' "$megabytes" "$kind" \
  "$(echo "$t1 - $t0" | bc)" "$((peak / 1024))"

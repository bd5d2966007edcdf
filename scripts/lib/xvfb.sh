# shellcheck shell=bash
# An X server of our own for scripts that need a display; sourced:
#   . "$repo/scripts/lib/xvfb.sh"
#   xvfb_start [WxHxD]   Xvfb on a display number it finds free itself (no
#                        race with another suite), DISPLAY exported, its pid
#                        in xvfb_pid; status 1 with a message when it fails
#   xvfb_stop            ends it (nothing when none runs); call it from the
#                        script's own cleanup
xvfb_pid=''

xvfb_start() {
  local screen=${1:-1920x1080x24} file
  command -v Xvfb >/dev/null || { echo "Xvfb is missing (package xvfb)" >&2; return 1; }
  file=$(mktemp)
  Xvfb -displayfd 3 -screen 0 "$screen" -nolisten tcp 3>"$file" >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 150); do
    [ -s "$file" ] || ! kill -0 "$xvfb_pid" 2>/dev/null && break
    sleep 0.1
  done
  if [ ! -s "$file" ]; then
    rm -f "$file"
    xvfb_stop
    echo "Xvfb did not start" >&2
    return 1
  fi
  DISPLAY=":$(head -n1 "$file")"
  export DISPLAY
  rm -f "$file"
}

xvfb_stop() {
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
    xvfb_pid=''
  fi
}

#!/usr/bin/env bash
# Builds the panel and starts it in the current folder, so that the
# Setup.ini there is the one it reads. Installs what the build needs (as
# root), or says which packages are missing.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
if ! bash "$repo/scripts/deps.sh" core linux-panel; then
  echo "zq-thrust: cannot build the panel until those packages are installed." >&2
  exit 1
fi
log="$repo/build/run-build.log"
mkdir -p "$repo/build"
if ! (cd "$repo" && cmake --preset default && cmake --build --preset default -j"$(nproc)" \
      --target zq-thrust zq-probe) >"$log" 2>&1; then
  tail -n 30 "$log" >&2
  echo "zq-thrust: the build failed; the whole log is in $log" >&2
  exit 1
fi
if [ -z "${DISPLAY:-}" ]; then
  echo "zq-thrust: DISPLAY is not set; the panel needs an X server (or XWayland)." >&2
  exit 1
fi
exec "$repo/build/default/src/platform/linux/zq-thrust" "$@"

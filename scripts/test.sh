#!/usr/bin/env bash
# Builds everything and runs every test. Installs what it needs (as root) or
# says what is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
groups=(core)
for list in scripts/packages/*.txt; do
  g=$(basename "$list" .txt)
  # fresh-check.txt is for scripts/fresh-check.sh alone
  [ "$g" = core ] || [ "$g" = fresh-check ] || groups+=("$g")
done
bash scripts/deps.sh "${groups[@]}"

jobs=$(nproc 2>/dev/null || echo 2)
cmake --preset default
cmake --build --preset default -j"$jobs"
ctest --preset default -j"$jobs"

# Further suites (other platforms, sanitizers, fuzzing) add a script here.
for extra in scripts/test.d/*.sh; do
  [ -e "$extra" ] || continue
  echo "== $(basename "$extra")"
  bash "$extra"
done

#!/usr/bin/env bash
# Installs the Debian packages that the named groups need (scripts/packages/
# GROUP.txt), or says exactly which are missing when it cannot install them.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
want=()
for group in "$@"; do
  list="$here/packages/$group.txt"
  if [ ! -f "$list" ]; then
    known=$(cd "$here/packages" && ls *.txt | sed 's/[.]txt$//' | tr '\n' ' ')
    echo "zq-thrust: no package group \"$group\" (known: ${known% })" >&2
    exit 2
  fi
  while read -r pkg _; do
    case "$pkg" in ''|'#'*) continue ;; esac
    want+=("$pkg")
  done < "$list"
done
missing=()
for pkg in "${want[@]}"; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
done
[ ${#missing[@]} -eq 0 ] && exit 0
if [ "$(id -u)" -ne 0 ] || ! command -v apt-get >/dev/null; then
  echo "zq-thrust: these Debian packages are missing: ${missing[*]}" >&2
  echo "install them with: sudo apt-get install ${missing[*]}" >&2
  exit 1
fi
echo "zq-thrust: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null

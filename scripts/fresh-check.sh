#!/usr/bin/env bash
# The README's commands on a clean Debian 12, as a new user meets them:
# 1. a clean bookworm root (mmdebstrap --variant=apt) with a clean clone of
#    this repository's HEAD (committed work only) in /root/zq-thrust, where
#    root runs `bash scripts/test.sh`;
# 2. a second clean root with Xvfb alone, where the .deb that run built is
#    installed with apt (Depends only, no Recommends); the panel starts there
#    with a malformed binding, and the check sees its error box (window title
#    "zq-thrust", through xwininfo from outside the root) while the panel's
#    datagrams arrive, and no box process left once the panel is ended.
# Ends with one line: "fresh-check: PASS ..." or "fresh-check: FAIL ...".
#
#   scripts/fresh-check.sh [--keep] [--deb FILE]
#   --keep      leave the roots in the work folder
#   --deb FILE  the player's check alone, of that package
#
# Needs root, the network (Debian's mirror) and scripts/packages/fresh-check.txt.
# Packages are fetched while the network is there; the tests then run in
# network, mount and PID namespaces of their own (their UDP port and abstract
# sockets cannot clash with anything else). Downloaded .debs are kept in
# ZQ_FRESH_CACHE (default /var/cache/zq-fresh-check) for the next run; logs
# and, with --keep, the roots stay in ZQ_FRESH_WORK (default a new
# /var/tmp/zq-fresh.XXXXXX).
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
cache=${ZQ_FRESH_CACHE:-/var/cache/zq-fresh-check}
keep=0
only_deb=""
while [ $# -gt 0 ]; do
  case "$1" in
    --keep) keep=1 ;;
    --deb) only_deb=$(realpath "${2:?--deb needs a file}"); shift ;;
    *) echo "usage: scripts/fresh-check.sh [--keep] [--deb FILE]" >&2; exit 2 ;;
  esac
  shift
done
started=$SECONDS

elapsed() { printf '%d min %02d s' $(((SECONDS - started) / 60)) $(((SECONDS - started) % 60)); }
finish() { # VERDICT TEXT
  echo "fresh-check: $1: $2 (in $(elapsed); logs in $work)"
  [ "$1" = PASS ]
  exit
}

[ "$(id -u)" -eq 0 ] || { echo "fresh-check: must run as root (mmdebstrap, chroot)" >&2; exit 2; }
missing=()
for tool in mmdebstrap git xwininfo xdotool python3 unshare ip; do
  command -v "$tool" >/dev/null || missing+=("$tool")
done
if [ ${#missing[@]} -ne 0 ]; then
  echo "fresh-check: missing ${missing[*]}; run: bash scripts/deps.sh fresh-check" >&2
  exit 2
fi

work=${ZQ_FRESH_WORK:-$(mktemp -d /var/tmp/zq-fresh.XXXXXX)}
mkdir -p "$work" "$cache/archives/partial"
dev_root=$work/dev-root
player_root=$work/player-root
cleanup() {
  if [ "$keep" -eq 0 ]; then rm -rf --one-file-system "$dev_root" "$player_root"; fi
}
trap cleanup EXIT

commit=$(git -C "$repo" rev-parse HEAD)
if [ -n "$(git -C "$repo" status --porcelain --untracked-files=no)" ]; then
  echo "fresh-check: note: uncommitted changes are not checked, only HEAD $commit" >&2
fi
echo "fresh-check: HEAD $commit, work in $work, package cache $cache"

# A clean bookworm root; the .debs go through the cache (a bind mount, so
# nothing is copied), and mounts end with the mount namespace. It gets the
# /etc/hosts that Debian's installer (or a container) gives every machine:
# mmdebstrap writes none, and without it "localhost" names nothing.
make_root() { # DIR [mmdebstrap options]
  local dir=$1
  shift
  rm -rf --one-file-system "$dir"
  unshare --mount --propagation private mmdebstrap --variant=apt --skip=essential/unlink \
    --setup-hook="mkdir -p \"\$1/var/cache/apt/archives\"" \
    --setup-hook="mount --bind '$cache/archives' \"\$1/var/cache/apt/archives\"" \
    --customize-hook="umount \"\$1/var/cache/apt/archives\"" \
    --customize-hook="printf '127.0.0.1\\tlocalhost\\n::1\\tlocalhost ip6-localhost ip6-loopback\\n' >\"\$1/etc/hosts\"" \
    "$@" bookworm "$dir"
}

# Runs a shell command as root inside ROOT with /proc, /sys, /dev and the
# package cache mounted; "isolated" adds network and PID namespaces of its
# own with the loopback up, "online" keeps the host's network (apt).
in_root() { # ROOT online|isolated COMMAND
  local root=$1 mode=$2 command=$3 ns=(--mount --propagation private)
  [ "$mode" = isolated ] && ns+=(--net --pid --fork --kill-child)
  cp /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true
  unshare "${ns[@]}" env ZQ_ROOT="$root" ZQ_MODE="$mode" ZQ_CACHE="$cache" \
    ZQ_COMMAND="$command" bash -c '
      set -e
      r=$ZQ_ROOT
      if [ "$ZQ_MODE" = isolated ]; then ip link set lo up; fi
      mount -t proc proc "$r/proc"
      mount -t sysfs sysfs "$r/sys"
      mount --rbind /dev "$r/dev"
      mount -t tmpfs -o mode=1777 tmpfs "$r/dev/shm"
      mount --bind "$ZQ_CACHE/archives" "$r/var/cache/apt/archives"
      exec chroot "$r" /usr/bin/env -i HOME=/root TERM=dumb \
        PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
        bash -c "$ZQ_COMMAND"'
}

# ------------------------------------------------------------ the developer
test_ok=1
if [ -n "$only_deb" ]; then
  cp "$only_deb" "$work/"
  deb=$work/$(basename "$only_deb")
else
echo "== $(elapsed): clean root for the README's test command"
make_root "$dev_root" >"$work/dev-root.log" 2>&1 ||
  { tail -n 20 "$work/dev-root.log"; finish FAIL "mmdebstrap of the first root"; }
git clone --quiet --no-checkout "$repo" "$dev_root/root/zq-thrust"
git -C "$dev_root/root/zq-thrust" cat-file -e "$commit^{commit}" 2>/dev/null ||
  git -C "$dev_root/root/zq-thrust" fetch --quiet origin "$commit"
git -C "$dev_root/root/zq-thrust" checkout --quiet --detach "$commit"

# The packages come first, while the network is there: the same groups and
# the same scripts/deps.sh call as scripts/test.sh makes, whose own call then
# finds them installed.
groups=$(cd "$dev_root/root/zq-thrust" && bash -c '
  groups=(core)
  for list in scripts/packages/*.txt; do
    g=$(basename "$list" .txt)
    [ "$g" = core ] || [ "$g" = fresh-check ] || groups+=("$g")
  done
  echo "${groups[@]}"')
echo "== $(elapsed): bash scripts/deps.sh $groups"
in_root "$dev_root" online "cd /root/zq-thrust && bash scripts/deps.sh $groups" \
  >"$work/deps.log" 2>&1 || { tail -n 20 "$work/deps.log"; finish FAIL "deps.sh in the first root"; }

echo "== $(elapsed): bash scripts/test.sh (log: $work/test.log)"
in_root "$dev_root" isolated "cd /root/zq-thrust && bash scripts/test.sh" >"$work/test.log" 2>&1 ||
  test_ok=0
if [ "$test_ok" -eq 1 ]; then
  echo "   test.sh passed: $(grep -E 'tests passed' "$work/test.log" | tr '\n' ';')"
else
  echo "   test.sh FAILED; its last lines:"
  tail -n 30 "$work/test.log" | sed 's/^/   | /'
fi

deb=$(ls "$dev_root"/root/zq-thrust/build/packages/zq-thrust_*_amd64.deb 2>/dev/null | head -n1 || true)
if [ -z "$deb" ]; then
  # test.sh stopped before its package step: package what it built.
  in_root "$dev_root" isolated \
    "cd /root/zq-thrust && cpack --config build/default/CPackConfig.cmake -B build/packages" \
    >"$work/cpack.log" 2>&1 || true
  deb=$(ls "$dev_root"/root/zq-thrust/build/packages/zq-thrust_*_amd64.deb 2>/dev/null | head -n1 || true)
fi
[ -n "$deb" ] || finish FAIL "test.sh failed and no .deb was built"
cp "$deb" "$work/"
deb=$work/$(basename "$deb")
[ "$keep" -eq 1 ] || rm -rf --one-file-system "$dev_root"
fi

# --------------------------------------------------------------- the player
echo "== $(elapsed): clean root with Xvfb alone; apt install ./$(basename "$deb")"
# (mmdebstrap leaves no package lists: apt-get update as on an installed system)
make_root "$player_root" --include=xvfb >"$work/player-root.log" 2>&1 ||
  { tail -n 20 "$work/player-root.log"; finish FAIL "mmdebstrap of the player's root"; }
cp "$deb" "$player_root/tmp/"
in_root "$player_root" online "apt-get update -q && apt-get install -y -q --no-install-recommends /tmp/$(basename "$deb")" \
  >"$work/player-install.log" 2>&1 ||
  { tail -n 20 "$work/player-install.log"; finish FAIL "apt install of the .deb"; }
for absent in xfonts-base fonts-wine x11-utils; do
  if chroot "$player_root" dpkg-query -W -f='${Status}' "$absent" 2>/dev/null | grep -q 'ok installed'; then
    finish FAIL "the player's root has $absent, so the box check would prove nothing"
  fi
done

# Inside: Xvfb and the panel with a malformed binding. Outside, in the same
# network namespace (X's abstract socket, the UDP port): the listener and
# xwininfo, which the player's root does not have.
player_check=$(cat <<'EOF'
set -e
exec 3>&2
export ZQ_PLAYER_ROOT=$PWD
python3 - <<'PY'
import os, re, signal, socket, subprocess, sys, time

root = os.environ["ZQ_PLAYER_ROOT"]
def chroot(*cmd, **kw):
    return subprocess.Popen(["chroot", root, "/usr/bin/env", "-i", "HOME=/root",
                             "PATH=/usr/sbin:/usr/bin:/sbin:/bin", "DISPLAY=:7"] + list(cmd), **kw)

def fail(why):
    print("player check: " + why)
    sys.exit(1)

listener = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
listener.bind(("127.0.0.1", 21100))
listener.settimeout(0.2)
xlog = open(os.path.join(root, "tmp/xvfb.log"), "wb")
xvfb = chroot("Xvfb", ":7", "-screen", "0", "1280x1024x24", "-nolisten", "tcp", stdout=xlog, stderr=xlog)
env = dict(os.environ, DISPLAY=":7")
def windows(title):
    r = subprocess.run(["xwininfo", "-root", "-tree"], env=env, capture_output=True, text=True)
    return re.findall(r'^\s*(0x[0-9a-f]+) "%s":' % re.escape(title), r.stdout, re.M)
def wait_for(what, timeout):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        v = what()
        if v:
            return v
        time.sleep(0.1)
    return what()
def box_processes():
    found = []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open("/proc/%s/cmdline" % pid, "rb") as f:
                if f.read().split(b"\0")[1:2] == [b"--zq-error-box"]:
                    found.append(int(pid))
        except OSError:
            pass
    return found

panel = None
try:
    ok = wait_for(lambda: subprocess.run(["xwininfo", "-root"], env=env, capture_output=True).returncode == 0, 15)
    if not ok:
        fail("Xvfb did not start in the player's root")
    os.makedirs(os.path.join(root, "root/flying"), exist_ok=True)
    with open(os.path.join(root, "root/flying/Setup.ini"), "wb") as f:
        f.write(b"[main]\r\nflapsdown=K\r\nYaxis=joy 1\r\n")
    plog = open(os.path.join(root, "tmp/panel.log"), "wb")
    panel = chroot("sh", "-c", "cd /root/flying && exec zq-thrust", stdout=plog, stderr=plog)
    if not wait_for(lambda: windows("zq-thrust"), 15):
        fail("no box titled zq-thrust appeared; the panel said: %r" %
             open(os.path.join(root, "tmp/panel.log"), "rb").read())
    if not windows("ZQ - Thrust"):
        fail("no panel window beside the box")
    # flapsdown, loaded before the malformed binding, on the K key
    for action in ("keydown", "keyup"):
        subprocess.run(["xdotool", action, "k"], env=env, check=True)
        time.sleep(0.3)
    got = []
    end = time.monotonic() + 10
    while time.monotonic() < end and len(got) < 1:
        try:
            got.append(listener.recv(512))
        except socket.timeout:
            pass
    if not got:
        fail("no datagram from the panel while its box was open")
    if len(windows("zq-thrust")) != 1:
        fail("more than one box")
    print("player check: box 'zq-thrust' open, panel sent %r" % got[0])
    panel.send_signal(signal.SIGTERM)
    panel.wait(5)
    if not wait_for(lambda: not windows("zq-thrust") and not box_processes(), 1.5):
        fail("the box outlived the panel: windows %r, processes %r" %
             (windows("zq-thrust"), box_processes()))
    print("player check: panel ended, box gone with it")
finally:
    if panel is not None and panel.poll() is None:
        panel.kill()
    xvfb.terminate()
    xvfb.wait()
PY
EOF
)
echo "== $(elapsed): the installed panel with a malformed binding"
player_ok=1
(cd "$player_root" && unshare --net --pid --fork --kill-child --mount --propagation private bash -c '
  set -e
  ip link set lo up
  mount -t proc proc proc
  mount --rbind /dev dev
  mount -t tmpfs -o mode=1777 tmpfs dev/shm
  mount -t proc proc /proc
  bash -c "$1"' _ "$player_check") >"$work/player-check.log" 2>&1 || player_ok=0
sed 's/^/   /' "$work/player-check.log"

if [ -n "$only_deb" ]; then
  [ "$player_ok" -eq 1 ] && finish PASS "the installed $(basename "$deb") shows its error box"
  finish FAIL "the installed $(basename "$deb")'s check failed"
fi
if [ "$test_ok" -eq 1 ] && [ "$player_ok" -eq 1 ]; then
  finish PASS "bash scripts/test.sh passed on a clean Debian 12; the installed .deb shows its error box"
elif [ "$test_ok" -eq 1 ]; then
  finish FAIL "bash scripts/test.sh passed; the installed .deb's check failed"
elif [ "$player_ok" -eq 1 ]; then
  finish FAIL "bash scripts/test.sh failed (see $work/test.log); the installed .deb's check passed"
fi
finish FAIL "bash scripts/test.sh failed and the installed .deb's check failed"

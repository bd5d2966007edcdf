#!/usr/bin/env bash
# The release packages, as a player gets them. Builds the Debian package and
# the Windows zip with cpack, then
# - checks the .deb's metadata (version, section, dependencies) and file list,
#   has Debian's own checker (lintian) find nothing beyond the information
#   explained in docs/packaging.md, unpacks it into a scratch root (dpkg -x),
#   runs its programs from there, checks their hardening (hardening-check),
#   that every library they link comes from a declared dependency, the
#   changelog, copyright and AppStream metadata; checks that a plain Release
#   configuration is hardened and a sanitizer one is not, and that
#   cmake --install into a prefix gives the same files;
# - checks the zip's file list and the version resource, subsystem and
#   imports of each .exe, unpacks it into a fresh wine prefix and runs the
#   programs from the unpacked folder (tests/packaging/zip_under_wine.py): the
#   panel, started there without Setup.ini, sends R/87\-1.
# Packages build/default and build/mingw as the earlier scripts left them
# (ZQ_PACKAGES_LINUX_BUILD / ZQ_PACKAGES_WINDOWS_BUILD name others); where one
# was never configured, builds the programs alone (no tests) in
# build/packages-linux or build/packages-mingw. The packages land in
# build/packages/.
# Needs the package groups core, linux-panel, windows and packaging
# (bash scripts/deps.sh core linux-panel windows packaging).
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
out=$root/build/packages
jobs=$(nproc 2>/dev/null || echo 2)

fail() {
  echo "40-packages: $*" >&2
  exit 1
}

loader=""
for candidate in /usr/lib/wine/wine64 /usr/lib/x86_64-linux-gnu/wine/wine64 "$(command -v wine64 || true)"; do
  if [ -n "$candidate" ] && [ -x "$candidate" ]; then loader=$candidate; break; fi
done
missing=()
for tool in cmake cpack dpkg-deb dpkg-shlibdeps desktop-file-validate file objdump python3 \
  Xvfb x86_64-w64-mingw32-g++-posix help2man man lintian hardening-check appstreamcli \
  dpkg-parsechangelog; do
  command -v "$tool" >/dev/null || missing+=("$tool")
done
[ -n "$loader" ] || missing+=(wine64)
[ ${#missing[@]} -eq 0 ] ||
  fail "missing ${missing[*]}; run: bash scripts/deps.sh core linux-panel windows packaging"
wineserver=$(dirname "$loader")/wineserver
[ -x "$wineserver" ] || wineserver=$(command -v wineserver || echo wineserver)

# The one version, from project() of the top CMakeLists.txt.
version=$(sed -n 's/^project(zq-thrust VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || fail "no version in project() of CMakeLists.txt"
echo "== version $version"

scratch=$(mktemp -d /tmp/zq-packages.XXXXXX)
. scripts/lib/xvfb.sh
own_prefix=""
cleanup() {
  if [ -n "$own_prefix" ]; then WINEPREFIX=$own_prefix "$wineserver" -k >/dev/null 2>&1 || true; fi
  xvfb_stop
  rm -rf "$scratch" "$out/_CPack_Packages"
}
trap cleanup EXIT

# A build directory to package from: the preferred one if it was configured,
# else one of our own with the programs alone.
prepare_build() { # NAME PREFERRED_DIR OWN_DIR CMAKE_ARGS...
  local name=$1 dir=$2 own_dir=$3
  shift 3
  if [ ! -f "$dir/CMakeCache.txt" ]; then
    dir=$own_dir
    [ -f "$dir/CMakeCache.txt" ] || cmake -S "$root" -B "$dir" "$@" >/dev/null
  fi
  cmake "$dir" >/dev/null # picks up the install rules if the tree predates them
  echo "== $name: building in $dir" >&2
  cmake --build "$dir" -j"$jobs" >"$scratch/build-$name.log" 2>&1 ||
    { tail -n 40 "$scratch/build-$name.log" >&2; fail "the $name build failed"; }
  echo "$dir"
}

linux_build=$(prepare_build linux "${ZQ_PACKAGES_LINUX_BUILD:-$root/build/default}" \
  "$root/build/packages-linux" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZQ_BUILD_TESTS=OFF \
  -DZQ_BUILD_LINUX_PANEL=ON)
windows_build=$(prepare_build windows "${ZQ_PACKAGES_WINDOWS_BUILD:-$root/build/mingw}" \
  "$root/build/packages-mingw" --toolchain "$root/cmake/toolchains/mingw-w64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DZQ_BUILD_TESTS=OFF)

mkdir -p "$out"
rm -f "$out"/zq-thrust*
for build in "$linux_build" "$windows_build"; do
  cpack --config "$build/CPackConfig.cmake" -B "$out" >"$scratch/cpack.log" 2>&1 ||
    { cat "$scratch/cpack.log" >&2; fail "cpack failed in $build"; }
done
deb=$out/zq-thrust_${version}-1_amd64.deb
zip=$out/zq-thrust-${version}-windows-x64.zip
[ -f "$deb" ] || fail "no $deb; cpack made: $(ls "$out")"
[ -f "$zip" ] || fail "no $zip; cpack made: $(ls "$out")"
for f in "$deb" "$zip"; do
  (cd "$out" && sha256sum -c --quiet "$(basename "$f").sha256") || fail "checksum of $f"
  echo "   $(basename "$f"): $(stat -c %s "$f") bytes"
done

# ---------------------------------------------------------------- Debian
echo "== Debian package"
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = zq-thrust ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version-1" ] || fail "Version: $(field Version), expected $version-1"
[ "$(field Architecture)" = amd64 ] || fail "Architecture: $(field Architecture)"
[ "$(field Section)" = utils ] || fail "Section: $(field Section), expected utils"
[ "$(field Priority)" = optional ] || fail "Priority: $(field Priority), expected optional"
depends=$(field Depends)
echo "   Depends: $depends"
depends_on() { tr ',' '\n' <<<"$depends" | awk '{print $1}' | grep -qxF "$1"; }
for want in libsdl2-2.0-0 libsdl2-ttf-2.0-0 libx11-6 libxi6 libfontconfig1 libstdc++6 libc6 \
  fonts-dejavu-core; do
  depends_on "$want" || fail "Depends lacks $want"
done

expected_files="./usr/bin/zq-check
./usr/bin/zq-listen
./usr/bin/zq-probe
./usr/bin/zq-setup
./usr/bin/zq-thrust
./usr/share/applications/zq-setup.desktop
./usr/share/applications/zq-thrust.desktop
./usr/share/doc/zq-thrust/README.txt
./usr/share/doc/zq-thrust/changelog.Debian.gz
./usr/share/doc/zq-thrust/copyright
./usr/share/doc/zq-thrust/docs/players-curves.svg
./usr/share/doc/zq-thrust/examples/Setup.ini
./usr/share/doc/zq-thrust/players-guide.md
./usr/share/icons/hicolor/48x48/apps/zq-thrust.png
./usr/share/icons/hicolor/scalable/apps/zq-thrust.svg
./usr/share/lintian/overrides/zq-thrust
./usr/share/man/man1/zq-check.1.gz
./usr/share/man/man1/zq-listen.1.gz
./usr/share/man/man1/zq-probe.1.gz
./usr/share/man/man1/zq-setup.1.gz
./usr/share/man/man1/zq-thrust.1.gz
./usr/share/metainfo/org.example.zq_thrust.metainfo.xml
./usr/share/metainfo/org.example.zq_thrust.setup.metainfo.xml"
files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sort)
[ "$files" = "$expected_files" ] ||
  fail "the package's files differ: $(diff <(echo "$expected_files") <(echo "$files") || true)"
echo "   files: $(echo "$files" | wc -l), as expected"

# Debian's own checker: no error, no warning, and no information tag but
# misspelt words where no source has them. Those are seams, not typos: the
# compiler copies a string's pieces in overlapping blocks ("over the" and
# "er the limit" read as "over theer the limit"), as docs/packaging.md tells.
lintian --display-info --fail-on none "$deb" >"$scratch/lintian.log" 2>&1 ||
  { cat "$scratch/lintian.log" >&2; fail "lintian did not run"; }
unexplained=$(awk '/^[EW]: / || (/^[IXP]: / && $3 != "spelling-error-in-binary")' \
  "$scratch/lintian.log")
[ -z "$unexplained" ] || fail "lintian: $unexplained"
for word in $(awk '$3 == "spelling-error-in-binary" {print $4}' "$scratch/lintian.log" | sort -u); do
  ! grep -rqiw -- "$word" src tools web || fail "lintian: '$word' is misspelt in the sources"
done
echo "   lintian: no error, no warning; $(grep -c '^I: ' "$scratch/lintian.log" || true) seams of strings"

debroot=$scratch/debroot
dpkg -x "$deb" "$debroot"
# Hardened as Debian builds: fortified, stack protector, RELRO with
# immediate binding, PIE. Control-flow protection (-fcf-protection) is not
# among the flags dpkg-buildflags gives on Debian 12, so it is not asked for.
for bin in "$debroot"/usr/bin/*; do
  hardening-check --nocfprotection "$bin" >"$scratch/hardening.log" 2>&1 ||
    { cat "$scratch/hardening.log" >&2; fail "$(basename "$bin") is not hardened"; }
done
echo "   hardening-check: every program passes"
for tool in zq-check zq-listen zq-probe zq-setup; do
  said=$("$debroot/usr/bin/$tool" --version)
  [ "$said" = "$tool $version" ] || fail "$tool --version printed '$said'"
  echo "   usr/bin/$tool --version: $said"
done
"$debroot/usr/bin/zq-check" --quiet "$debroot/usr/share/doc/zq-thrust/examples/Setup.ini" \
  >/dev/null || fail "zq-check finds fault with the installed example"
cmp -s "$debroot/usr/share/doc/zq-thrust/examples/Setup.ini" examples/Setup.ini ||
  fail "the installed example differs from examples/Setup.ini"
grep -q "zq-thrust $version for Linux" "$debroot/usr/share/doc/zq-thrust/README.txt" ||
  fail "README.txt does not name version $version"
# The changelog's newest entry is this package; README.txt shows its items.
changelog=$debroot/usr/share/doc/zq-thrust/changelog.Debian.gz
[ "$(zcat "$changelog" | dpkg-parsechangelog -l- -S Version)" = "$version-1" ] ||
  fail "changelog.Debian.gz does not begin with $version-1"
first_item=$(zcat "$changelog" | sed -n 's/^  \* //p' | head -n1)
grep -qF -- "- $first_item" "$debroot/usr/share/doc/zq-thrust/README.txt" ||
  fail "README.txt does not show the changes of $version"
# The copyright names the project's license in the very words of LICENSE.
copyright=$debroot/usr/share/doc/zq-thrust/copyright
python3 - "$copyright" LICENSE <<'EOF' || fail "the copyright's Expat text differs from LICENSE"
import re, sys
deb, lic = (open(p, encoding="utf-8").read() for p in sys.argv[1:])
body = re.search(r"^License: Expat\n((?: .*\n)+)", deb, re.M).group(1)
body = "\n".join("" if l == " ." else l[1:] for l in body.splitlines())
own = lic.split("\n\n", 2)[2].strip()
sys.exit(0 if body.strip() == own and "Copyright: 2026 The zq-thrust developers" in deb else 1)
EOF
for metainfo in "$debroot"/usr/share/metainfo/*.xml; do
  appstreamcli validate --no-net --pedantic "$metainfo" >"$scratch/appstream.log" 2>&1 ||
    { cat "$scratch/appstream.log" >&2; fail "appstreamcli validate $(basename "$metainfo")"; }
  grep -q "<release version=\"$version\"" "$metainfo" || fail "$(basename "$metainfo") lacks $version"
done
echo "   changelog, copyright and AppStream metadata valid"
for bin in "$debroot"/usr/bin/*; do
  file -b "$bin" | grep -q ", stripped" || fail "$(basename "$bin") is not stripped"
done

# Every program has its manual page, found by man as once the package is
# installed (MANPATH points man at the unpacked tree); the tools' pages carry
# their own --help.
for bin in "$debroot"/usr/bin/*; do
  name=$(basename "$bin")
  page=$(MANPATH="$debroot/usr/share/man" MANWIDTH=80 man -P cat "$name" 2>&1) ||
    fail "man $name: $page"
  grep -q "^NAME" <<<"$page" && grep -q "$name" <<<"$page" || fail "man $name: no NAME section"
done
MANPATH="$debroot/usr/share/man" MANWIDTH=80 man -P cat zq-check | grep -q -- "--screen" ||
  fail "man zq-check does not show the options of zq-check --help"
echo "   man pages: $(ls "$debroot/usr/share/man/man1" | wc -l), man zq-check shows its options"
guide=$debroot/usr/share/doc/zq-thrust/players-guide.md
for heading in "## For players: installing" "### Checking a file: zq-check" "### Exit statuses" \
  "### Writing bindings: zq-probe"; do
  grep -qxF "$heading" "$guide" || fail "players-guide.md lacks '$heading'"
done
echo "   players-guide.md: $(wc -l <"$guide") lines"

# Every library a program links itself must come from a package the .deb
# depends on (on this machine: the same Debian release).
owner_of() { # PATH: the package that installed the file, under /lib or /usr/lib
  local p
  for p in "$1" "$(readlink -f "$1")"; do
    for q in "$p" "${p#/usr}" "/usr$p"; do
      dpkg -S "$q" 2>/dev/null | head -n1 | cut -d: -f1 | grep . && return 0
    done
  done
  return 1
}
for bin in "$debroot"/usr/bin/*; do
  for lib in $(objdump -p "$bin" | awk '$1 == "NEEDED" {print $2}'); do
    path=$(ldd "$bin" | awk -v lib="$lib" '$1 == lib {print $3}')
    if [ -z "$path" ] || [ "$path" = "not" ]; then fail "$(basename "$bin"): $lib not found"; fi
    owner=$(owner_of "$path") || fail "$(basename "$bin"): no package owns $path"
    depends_on "$owner" ||
      fail "$(basename "$bin") links $lib of $owner, which Depends does not name"
  done
done
echo "   every library the programs link comes from a declared dependency"

desktop=$debroot/usr/share/applications/zq-thrust.desktop
desktop-file-validate "$desktop" >/dev/null 2>&1 || fail "$(desktop-file-validate "$desktop" 2>&1)"
grep -qx 'Exec=zq-thrust --setup "~/flying"' "$desktop" ||
  fail "the menu entry does not start zq-thrust on ~/flying/Setup.ini, as the README says"
grep -qx "Icon=zq-thrust" "$desktop" || fail "the menu entry names another icon"
grep -qx "Categories=Game;Utility;" "$desktop" || fail "the menu entry's categories changed"
setup_desktop=$debroot/usr/share/applications/zq-setup.desktop
desktop-file-validate "$setup_desktop" >/dev/null 2>&1 ||
  fail "$(desktop-file-validate "$setup_desktop" 2>&1)"
grep -qx 'Exec=zq-setup --setup "~/flying/Setup.ini" ui' "$setup_desktop" ||
  fail "the configurator's menu entry does not edit the file the panel's entry reads"
echo "   menu entries valid, icon in hicolor scalable and 48x48"

# A plain Release configuration is hardened by CMakeLists.txt itself; one with
# sanitizers is left as it is.
configure_flags() { # DIR CMAKE_ARGS...: the flags that compile and link zq-check
  local dir=$1
  shift
  cmake -S "$root" -B "$dir" -G "Unix Makefiles" -DZQ_BUILD_TESTS=OFF "$@" >/dev/null
  cat "$dir"/tools/CMakeFiles/zq-check.dir/flags.make "$dir"/tools/CMakeFiles/zq-check.dir/link.txt
}
plain=$(configure_flags "$scratch/plain-release" -DCMAKE_BUILD_TYPE=Release)
for flag in -D_FORTIFY_SOURCE=2 -fstack-protector-strong -Werror=format-security -Wl,-z,relro \
  -Wl,-z,now -pie; do
  grep -qF -- "$flag" <<<"$plain" || fail "a plain Release build lacks $flag"
done
sanitized=$(configure_flags "$scratch/sanitized" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  "-DCMAKE_CXX_FLAGS=-fsanitize=address" "-DCMAKE_EXE_LINKER_FLAGS=-fsanitize=address")
! grep -qE -- "_FORTIFY_SOURCE|-z,now" <<<"$sanitized" || fail "a sanitizer build got hardened"
echo "   a plain Release configuration is hardened, a sanitizer one is not"

# cmake --install into any prefix gives the same tree.
prefix=$scratch/prefix
cmake --install "$linux_build" --prefix "$prefix" >/dev/null
installed=$(cd "$prefix" && find . -type f | sed 's|^\./|./usr/|' | sort)
[ "$installed" = "$expected_files" ] ||
  fail "cmake --install differs: $(diff <(echo "$expected_files") <(echo "$installed") || true)"
[ "$("$prefix/bin/zq-check" --version)" = "zq-check $version" ] || fail "installed zq-check"
echo "   cmake --install --prefix: the same files"

# ---------------------------------------------------------------- Windows
echo "== Windows zip"
folder=zq-thrust-$version-windows-x64
expected_entries="$folder/CHANGES.txt
$folder/LICENSE.txt
$folder/README.txt
$folder/THIRD-PARTY.txt
$folder/examples/Setup.ini
$folder/zq-check.exe
$folder/zq-listen.exe
$folder/zq-probe.exe
$folder/zq-setup.exe
$folder/zq-thrust.exe"
entries=$(python3 - "$zip" <<'EOF'
import sys, zipfile
for name in sorted(zipfile.ZipFile(sys.argv[1]).namelist()):
    if not name.endswith("/"):
        print(name)
EOF
)
[ "$entries" = "$expected_entries" ] ||
  fail "the zip's files differ: $(diff <(echo "$expected_entries") <(echo "$entries") || true)"
echo "   files: $(echo "$entries" | wc -l), as expected"

xvfb_start 1280x1024x24 || fail "no X server of our own"

own_prefix=$scratch/wineprefix
export WINEPREFIX=$own_prefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=,winemenubuilder.exe=d"
export WINEARCH=win64
started=$SECONDS
"$loader" wineboot -i >/dev/null 2>&1
"$wineserver" -w
"$wineserver" -p 60
echo "   fresh wine prefix in $((SECONDS - started)) s"

python3 -m zipfile -e "$zip" "$WINEPREFIX/drive_c/"
unpacked=$WINEPREFIX/drive_c/$folder
for text in README.txt CHANGES.txt LICENSE.txt THIRD-PARTY.txt examples/Setup.ini; do
  python3 - "$unpacked/$text" <<'EOF' || fail "$text does not end its lines with CR LF"
import sys
data = open(sys.argv[1], "rb").read()
sys.exit(0 if data.count(b"\n") > 10 and data.count(b"\r\n") == data.count(b"\n") else 1)
EOF
done
grep -q "zq-thrust $version for Windows" "$unpacked/README.txt" ||
  fail "README.txt does not name version $version"
cmp -s <(tr -d '\r' <"$unpacked/LICENSE.txt") LICENSE || fail "LICENSE.txt differs from LICENSE"
grep -q "^zq-thrust $version (" "$unpacked/CHANGES.txt" || fail "CHANGES.txt lacks $version"
python3 tests/packaging/pe_check.py --version "$version" --icon zq-thrust.exe \
  "$unpacked/zq-thrust.exe=gui:ZQ - Thrust flight control panel" \
  "$unpacked/zq-check.exe=console:zq-thrust Setup.ini checker" \
  "$unpacked/zq-listen.exe=console:zq-thrust command message listener" \
  "$unpacked/zq-probe.exe=console:zq-thrust joystick and key probe" \
  "$unpacked/zq-setup.exe=console:zq-thrust Setup.ini editor" |
  sed 's/^/   /' || fail "the programs' version resources"
mkdir -p "$scratch/logs"
python3 tests/packaging/zip_under_wine.py --wine "$loader" --folder "$unpacked" \
  --version "$version" --logs "$scratch/logs" | sed 's/^/   /' || fail "the programs of the zip under wine"
echo "== packages: done in $SECONDS s"

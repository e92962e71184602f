#!/usr/bin/env bash
# The install tree and the Debian package, from a finished build:
#   test_dist.sh install BUILD   cmake --install into a scratch prefix
#   test_dist.sh package BUILD   cpack, then install, run and remove the
#                                package in a scratch dpkg root
# Either way the tree must hold the programs, the bundle they find from
# bin/, a desktop entry that desktop-file-validate accepts, the icons and the
# manual page of the project's version, and ovanta-headless must run.
set -euo pipefail
mode=$1
build=$(cd "$2" && pwd)
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:[A-Z]*=//p' "$build/CMakeCache.txt")
scratch=$(mktemp -d /tmp/ovanta-dist-XXXXXX)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

check_tree() {
  local p=$1
  for f in bin/ovanta bin/ovanta-headless bin/podinfo; do [[ -x $p/$f ]] || fail "$f missing"; done
  [[ -f $p/share/ovanta/girl_casual.POD && -f $p/share/ovanta/ovanta_icon.png ]] || fail "no bundle in share/ovanta"
  desktop-file-validate "$p/share/applications/ovanta.desktop" || fail "desktop entry rejected"
  grep -qx 'Icon=ovanta' "$p/share/applications/ovanta.desktop" || fail "desktop entry names no icon"
  for n in 48 64 128 256; do
    local icon=$p/share/icons/hicolor/${n}x${n}/apps/ovanta.png
    [[ $(head -c 8 "$icon" | od -An -tx1 | tr -d ' \n') == 89504e470d0a1a0a ]] || fail "$icon is no PNG"
    [[ $(od -An -tu1 -j16 -N8 "$icon" | awk '{print $3*256+$4 "x" $7*256+$8}') == "${n}x${n}" ]] || fail "$icon is not ${n}x${n}"
  done
  local man=$p/share/man/man6/ovanta.6
  grep -q "Ovanta $version" "$man" || fail "manual page without version $version"
  local warnings
  warnings=$(MANWIDTH=80 man --warnings -l "$man" 2>&1 >/dev/null) || fail "manual page does not render"
  [[ -z $warnings ]] || fail "manual page warnings: $warnings"
  # The installed program finds its bundle from bin/ (no --bundle).
  printf 'tick 5\nshot %s/shot.png\n' "$scratch" >"$scratch/script.txt"
  (cd / && "$p/bin/ovanta-headless" --trace "$scratch/trace.jsonl" "$scratch/script.txt") 2>"$scratch/err.txt" ||
    fail "installed ovanta-headless: $(grep -v '^Physics' "$scratch/err.txt" | head -3)"
  grep -q '"event":"reload"' "$scratch/trace.jsonl" || fail "installed ovanta-headless loaded nothing"
  [[ -s $scratch/shot.png ]] || fail "installed ovanta-headless drew nothing"
  "$p/bin/podinfo" "$p/share/ovanta/girl_casual.POD" >/dev/null || fail "installed podinfo"
}

case $mode in
  install)
    cmake --install "$build" --prefix "$scratch/prefix" >/dev/null
    check_tree "$scratch/prefix"
    ;;
  package)
    cpack --config "$build/CPackConfig.cmake" -G DEB -B "$scratch/work" -D CPACK_OUTPUT_FILE_PREFIX="$scratch/out" >/dev/null
    deb=$(ls "$scratch"/out/ovanta_"$version"_*.deb)
    dpkg-deb --field "$deb" Version | grep -qx "$version" || fail "package version is not $version"
    # A private dpkg root: installing and removing touch nothing of the system.
    root=$scratch/root
    mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
    touch "$root/var/lib/dpkg/status"
    dpkg=(dpkg --root="$root" --log="$scratch/dpkg.log" --force-not-root)
    "${dpkg[@]}" --force-depends -i "$deb" >/dev/null 2>&1 || fail "dpkg -i"
    check_tree "$root/usr"
    "${dpkg[@]}" -r ovanta >/dev/null || fail "dpkg -r"
    left=$(find "$root" -mindepth 1 -not -path "$root/var*" | head -5)
    [[ -z $left ]] || fail "left behind after removal: $left"
    ;;
  *) fail "usage: test_dist.sh install|package BUILD" ;;
esac
echo "ok: $mode"

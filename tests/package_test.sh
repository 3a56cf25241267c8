#!/usr/bin/env bash
# Builds the Debian package and checks it, its manual pages and its AppStream
# metadata with their linters, then installs it, plays the demo from the
# installed launcher on the dummy drivers, and removes the package again.
# Usage: package_test.sh BUILD_DIR   (as root, or as a user who may sudo)
set -euo pipefail
build=$(cd "$1" && pwd)
. "$(dirname "$0")/../tools/packages.sh"
fail() { echo "package test: $*" >&2; exit 1; }
sudo=; [ "$(id -u)" -eq 0 ] || sudo=sudo
remove() { $sudo env DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq vaskiloimu >/dev/null; }

(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/vaskiloimu_*.deb | head -n 1)
dpkg-deb -f "$deb" Depends | grep -q 'libsdl1.2debian.*| libsdl1.2-compat' || fail "SDL dependency"
# Any error or warning; as root lintian also says it should not be, which is no fault.
lint=$(lintian "$deb" 2>&1 | grep -v 'running with root privileges' || true)
[ -z "$lint" ] || fail "lintian: $lint"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"; remove 2>/dev/null || true' EXIT
need "$deb"
version=$(dpkg-deb -f "$deb" Version)
[ "$(vaskiloimu-capture --version)" = "vaskiloimu-capture $version" ] || fail "capture tool's version"
for m in /usr/share/man/man6/vaskiloimu{,-play}.6.gz /usr/share/man/man1/vaskiloimu-capture.1.gz; do
    lint=$({ zcat "$m" | groff -ww -z -man; mandoc -T lint "$m"; } 2>&1) || true
    [ -z "$lint" ] || fail "$m: $lint"
done
info=/usr/share/metainfo/example.vaskiloimu.vaskiloimu.metainfo.xml
grep -q "<release version=\"$version\"" "$info" || fail "the metainfo's release is not $version"
lint=$(appstreamcli validate --no-net "$info" 2>&1) || fail "$lint"
desktop-file-validate /usr/share/applications/vaskiloimu.desktop || fail "desktop entry"
[ -e /usr/share/icons/hicolor/128x128/apps/vaskiloimu.png ] || fail "no icon"

# From anywhere, with the installed media: it plays until asked to stop,
# asking sdl12-compat for sharp pixels when it enlarges the screen.
export SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy
cd /
setsid /usr/games/vaskiloimu-play >"$scratch/out" 2>&1 &
pid=$!
sleep 2
kill -0 "$pid" 2>/dev/null || fail "the launcher's demo did not keep running: $(cat "$scratch/out")"
tr '\0' '\n' <"/proc/$pid/environ" | grep -qx SDL12COMPAT_SCALE_METHOD=nearest || fail "no nearest scaling asked for"
kill -TERM "$pid"
wait "$pid" || fail "SIGTERM gave status $?, not 0"

# With a folder the user names, which holds no picture: the demo's own status 2.
/usr/games/vaskiloimu-play "$scratch" || status=$?
[ "${status:-0}" -eq 2 ] || fail "a folder without a picture gave status ${status:-0}, not 2"

remove
[ ! -e /usr/games/vaskiloimu ] && [ ! -e /usr/share/games/vaskiloimu ] || fail "removing the package left files"
echo "package test: linted, installed, played, removed"

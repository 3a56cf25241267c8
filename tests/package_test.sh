#!/usr/bin/env bash
# Builds the Debian package, installs it on this machine, plays the demo from
# the installed launcher on the dummy drivers, and removes the package again.
# Usage: package_test.sh BUILD_DIR   (needs root, as apt-get does)
set -euo pipefail
build=$(cd "$1" && pwd)
fail() { echo "package test: $*" >&2; exit 1; }

(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/vaskiloimu_*.deb | head -n 1)
[ -f "$deb" ] || fail "no package was made"
dpkg-deb -f "$deb" Depends | grep -q 'libsdl1.2debian.*| libsdl1.2-compat' || fail "SDL dependency"

DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" >/dev/null
trap 'DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq vaskiloimu >/dev/null 2>&1 || true' EXIT
for f in /usr/bin/vaskiloimu /usr/bin/vaskiloimu-capture /usr/bin/vaskiloimu-play \
         /usr/share/vaskiloimu/galleri.jpg /usr/share/vaskiloimu/musa.ogg \
         /usr/share/applications/vaskiloimu.desktop /usr/share/icons/hicolor/128x128/apps/vaskiloimu.png; do
    [ -e "$f" ] || fail "$f was not installed"
done
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate /usr/share/applications/vaskiloimu.desktop || fail "desktop entry"
fi

export SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"; DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq vaskiloimu >/dev/null 2>&1 || true' EXIT

# From anywhere, with the installed media: it plays until asked to stop.
cd /
setsid vaskiloimu-play >"$scratch/out" 2>&1 &
pid=$!
sleep 2
kill -0 "$pid" 2>/dev/null || fail "the launcher's demo did not keep running"
kill -TERM "$pid"
status=0
wait "$pid" || status=$?
[ "$status" -eq 0 ] || fail "SIGTERM gave status $status, not 0"

# With a folder the user names, which holds no picture: the demo's own status 2.
status=0
vaskiloimu-play "$scratch" || status=$?
[ "$status" -eq 2 ] || fail "a folder without a picture gave status $status, not 2"

DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq vaskiloimu >/dev/null
[ ! -e /usr/bin/vaskiloimu ] || fail "removing the package left the program"
[ ! -e /usr/share/vaskiloimu/galleri.jpg ] || fail "removing the package left the media"
echo "package test: installed, played, removed"

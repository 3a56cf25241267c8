#!/usr/bin/env bash
# Tests the Windows build (win/build.sh makes or reuses it):
#  - the image loader, natively under AddressSanitizer and under wine;
#  - the demo under 32-bit wine on a virtual X server: it sets its screen,
#    draws the pattern and the picture, plays the music (ALSA's default
#    device is a file here), ends with status 0 on Esc and at its end, 2
#    without its picture and 1 without a screen.
# Takes about two minutes, most of it one whole run of the demo.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
top=$(dirname "$here")
. "$top/tools/deps.sh"

die() { echo "win/test.sh: $*" >&2; exit 1; }

sudo=
[ "$(id -u)" -eq 0 ] || sudo=sudo
# 32-bit wine runs 32-bit Windows programs; need() updates the lists.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
fi
need gcc libsdl1.2-dev libjpeg-dev imagemagick wine wine32:i386 xvfb x11-utils xdotool unzip \
    python3 python3-numpy sox libsox-fmt-base
# Debian's own, with numpy; another python3 may come first on PATH.
py=/usr/bin/python3

"$here/build.sh" >/dev/null
prefix=$("$here/deps.sh")
zip=${VASKILOIMU_WIN_OUT:-$top/build-win}/vaskiloimu-win32.zip
host=i686-w64-mingw32

tmp=$(mktemp -d)
xvfb=
cleanup() {
    # Only what this script started: its own wine prefix and X server.
    [ -d "$tmp/prefix" ] && WINEPREFIX=$tmp/prefix wineserver -k 2>/dev/null || true
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
    rm -rf "$tmp"
}
trap cleanup EXIT

passed=0
failed=0
ok() { echo "ok: $*"; passed=$((passed + 1)); }
bad() { echo "FAILED: $*"; failed=$((failed + 1)); }

# --- The loader on Linux, where the sanitizers see every stray access.
media=$tmp/media
mkdir -p "$media"
cp "$top/media/galleri.jpg" "$media/"
convert "$media/galleri.jpg" "$media/galleri.ppm"
convert "$media/galleri.jpg" -colorspace Gray "$media/gray.jpg"
convert "$media/gray.jpg" "$media/gray.ppm"
convert "$media/galleri.jpg" -interlace JPEG "$media/progressive.jpg"
convert "$media/progressive.jpg" "$media/progressive.ppm"
pictures=(galleri.jpg galleri.ppm gray.jpg gray.ppm progressive.jpg progressive.ppm)

# shellcheck disable=SC2046  # sdl-config output is meant to split into flags
gcc -std=c99 -O1 -g -Wall -Wextra -Werror -fsanitize=address,undefined -fno-sanitize-recover=all \
    -fno-omit-frame-pointer -I"$top/ports" $(sdl-config --cflags) \
    "$top/ports/image.c" "$here/image_test.c" -o "$tmp/image_test" $(sdl-config --libs) -ljpeg
if (cd "$media" && "$tmp/image_test" "${pictures[@]}"); then
    ok "image loader, Linux"
else
    bad "image loader, Linux"
fi

# --- An X server of our own, on a display nobody uses.
for n in $(seq 90 140); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
    Xvfb ":$n" -screen 0 640x480x24 -noreset -nolisten tcp >"$tmp/xvfb.log" 2>&1 &
    xvfb=$!
    for _ in $(seq 100); do
        DISPLAY=:$n xdpyinfo >/dev/null 2>&1 && break
        kill -0 "$xvfb" 2>/dev/null || break
        sleep 0.1
    done
    if DISPLAY=:$n xdpyinfo >/dev/null 2>&1; then
        export DISPLAY=:$n
        break
    fi
    kill "$xvfb" 2>/dev/null || true
    xvfb=
done
[ -n "$xvfb" ] || die "could not start Xvfb"

# --- A fresh 32-bit wine prefix. Its virtual desktop closes the demo's
# screen at once; without it, video shutdown takes seconds.
export HOME=$tmp/home WINEPREFIX=$tmp/prefix WINEARCH=win32 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe=d"
mkdir -p "$HOME"
wineboot -i >"$tmp/wineboot.log" 2>&1 || { cat "$tmp/wineboot.log"; die "wineboot failed"; }
cat >"$tmp/desktop.reg" <<'EOF'
REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\Explorer]
"Desktop"="Default"

[HKEY_CURRENT_USER\Software\Wine\Explorer\Desktops]
"Default"="640x480"
EOF
wine regedit /S "$(winepath -w "$tmp/desktop.reg")"
wineserver -w

# --- The loader built for Windows, under wine.
wt=$tmp/imagetest-win
mkdir -p "$wt"
cp "$media"/* "$wt/"
$host-gcc-win32 -std=c99 -O2 -Wall -Wextra -Werror -I"$top/ports" -I"$prefix/include/SDL" \
    -I"$prefix/include" "$top/ports/image.c" "$here/image_test.c" -o "$wt/image_test.exe" \
    -static-libgcc -L"$prefix/lib" -lmingw32 -lSDLmain -lSDL "$prefix/lib/libjpeg.a"
cp "$prefix/bin/SDL.dll" "$wt/"
if (cd "$wt" && wine image_test.exe "${pictures[@]}"); then
    ok "image loader, Windows"
else
    bad "image loader, Windows"
fi

# --- The demo.
unzip -q "$zip" -d "$tmp/zip"
game=$tmp/zip/vaskiloimu-win32
sox "$game/musa.ogg" -t raw -e signed -b 16 -c 2 -r 48000 "$tmp/music.raw"
convert "$game/galleri.jpg" "$tmp/galleri.ppm"

# Wine plays through ALSA's default device, here a file. The file plugin's
# own slave, null, takes data as fast as it comes, and wine would then play
# several times faster than real time: a reader that takes it at the real
# rate, through a pipe, paces it.
cat >"$tmp/pace.py" <<'EOF'
import sys, time
rate = 48000 * 4
out = open(sys.argv[1], "wb", buffering=0)
src = sys.stdin.buffer
t0, n = None, 0
while True:
    b = src.read1(rate // 50)
    if not b:
        break
    if t0 is None:
        t0 = time.monotonic()
    out.write(b)
    n += len(b)
    d = t0 + n / rate - time.monotonic()
    if d > 0:
        time.sleep(d)
EOF
sound_to() {
    cat >"$HOME/.asoundrc" <<EOF
pcm.!default {
    type plug
    slave { pcm "captured"; format S16_LE; rate 48000; channels 2 }
}
pcm.captured {
    type file
    slave.pcm "null"
    file "|$py $tmp/pace.py $1"
    format "raw"
}
EOF
}

# start DIR [VAR=VALUE]...: the demo in DIR, in the background; sets pid.
start() {
    local dir=$1
    shift
    (cd "$dir" && exec env "$@" wine vaskiloimu.exe) >>"$tmp/wine.log" 2>&1 &
    pid=$!
}

# finish SECONDS: waits that long at most for the demo; sets status.
finish() {
    local i
    for i in $(seq $(($1 * 10))); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$pid" 2>/dev/null; then
        wineserver -k 2>/dev/null || true
        wait "$pid" || true
        status=timeout
        return
    fi
    status=0
    wait "$pid" || status=$?
}

# window: waits for the demo's window; sets wid, or fails.
window() {
    local i
    wid=
    for i in $(seq 300); do
        wid=$(xdotool search --name '^vaskiloimu$' 2>/dev/null | head -n 1) || true
        [ -n "$wid" ] && return 0
        kill -0 "$pid" 2>/dev/null || return 1
        sleep 0.1
    done
    return 1
}

escape() {
    xdotool windowfocus "$wid" 2>/dev/null || true
    xdotool key Escape
}

shot() {
    import -window root -depth 8 "$1"
}

# Esc a few seconds in, with the waveOut sound driver: SDL's default,
# DirectSound, repeats pieces of its buffer under wine (see below).
sound_to "$tmp/esc.raw"
start "$game" SDL_AUDIODRIVER=waveout
if window; then
    ok "the screen is set"
    sleep 2
    shot "$tmp/pattern.ppm"
    if $py "$here/check.py" pattern "$tmp/pattern.ppm"; then ok "pattern"; else bad "pattern"; fi
    sleep 4
    escape
    finish 20
    [ "$status" = 0 ] && ok "status 0 on Esc" || bad "status $status on Esc, not 0"
    if $py "$here/check.py" music "$tmp/esc.raw" "$tmp/music.raw"; then ok "music"; else bad "music"; fi
else
    finish 5
    bad "no window (status $status)"
fi

# To the end, as shipped. The picture is opaque from 26 s of the demo's
# clock and the first fire is seeded after 28 s. Wine names the window when
# the demo's loop first handles messages, at about 0 on that clock (the
# pattern seen 2 s later is of about 2.1 s).
sound_to "$tmp/full.raw"
start "$game"
if window; then
    sleep 27
    shot "$tmp/picture.ppm"
    if $py "$here/check.py" picture "$tmp/picture.ppm" "$tmp/galleri.ppm"; then
        ok "picture"
    else
        bad "picture"
    fi
    finish 90
    [ "$status" = 0 ] && ok "status 0 at the end" || bad "status $status at the end, not 0"
    # DirectSound under wine stutters but must still sound like the music.
    if $py "$here/check.py" sound "$tmp/full.raw" "$tmp/music.raw"; then ok "sound"; else bad "sound"; fi
else
    finish 5
    bad "no window (status $status)"
fi

# Without the picture.
mkdir "$tmp/nopicture"
cp "$game"/*.exe "$game"/*.dll "$game/musa.ogg" "$tmp/nopicture/"
sound_to "$tmp/nopicture.raw"
start "$tmp/nopicture"
finish 30
[ "$status" = 2 ] && ok "status 2 without the picture" || bad "status $status without the picture, not 2"

# Without a screen.
start "$game" SDL_VIDEODRIVER=none
finish 30
[ "$status" = 1 ] && ok "status 1 without a screen" || bad "status $status without a screen, not 1"

if [ "$failed" -ne 0 ]; then
    # What a failure can be judged by, kept past the clean-up.
    keep=${VASKILOIMU_WIN_OUT:-$top/build-win}/test-failed
    rm -rf "$keep"
    mkdir -p "$keep"
    cp "$tmp"/*.ppm "$tmp"/*.log "$keep/" 2>/dev/null || true
    echo "screenshots and logs: $keep"
fi
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]

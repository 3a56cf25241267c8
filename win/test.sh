#!/usr/bin/env bash
# The Windows build (win/build.sh makes or reuses it) under 32-bit wine on a
# virtual X screen: the still writer's frames on the scripted clock byte for
# byte those of the native one, fire included, with glibc's generator in
# place of msvcrt's; the pattern and the picture exact on its screen, the
# music heard (ALSA's default device is a file here), and its statuses: 0 on
# Esc and at its end, 2 without its picture, 1 without a screen.
# Takes about three minutes, most of it one whole run of the demo.
#
#   VASKILOIMU_NATIVE_BUILD  a native build folder to take the native still
#                            writer from (default: build-win/native, made here)
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
top=$(dirname "$here")
. "$top/tools/deps.sh"

sudo=
[ "$(id -u)" -eq 0 ] || sudo=sudo
# 32-bit wine runs 32-bit Windows programs; need() updates the lists.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    echo "Adding the i386 architecture to dpkg (dpkg --add-architecture i386), for 32-bit wine" >&2
    $sudo dpkg --add-architecture i386
fi
need g++ imagemagick wine wine32:i386 xvfb x11-utils xdotool sox libsox-fmt-base unzip

out=${VASKILOIMU_WIN_OUT:-$top/build-win}
"$here/build.sh" >/dev/null
native=${VASKILOIMU_NATIVE_BUILD:-$out/native}
[ -e "$native/CMakeCache.txt" ] || cmake -S "$top" -B "$native" -DCMAKE_BUILD_TYPE=Release -DVASKILOIMU_TESTS=OFF >/dev/null
cmake --build "$native" -j2 --target vaskiloimu-stills >/dev/null
. "$top/tests/xrun.sh"
checker=$tmp/check_output
g++ -std=c++17 -O2 -I"$top/tests" "$top/tests/check_output.cpp" -o "$checker"

# A fresh 32-bit wine prefix. Its virtual desktop closes the demo's screen
# at once; without it, video shutdown takes seconds.
export HOME=$tmp/home WINEPREFIX=$tmp/prefix WINEARCH=win32 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe=d"
on_exit='wineserver -k 2>/dev/null'
mkdir -p "$HOME"
wineboot -i >"$tmp/wineboot.log" 2>&1 || { cat "$tmp/wineboot.log"; exit 1; }
printf '%s\n' REGEDIT4 '' '[HKEY_CURRENT_USER\Software\Wine\Explorer]' '"Desktop"="Default"' '' \
    '[HKEY_CURRENT_USER\Software\Wine\Explorer\Desktops]' '"Default"="640x480"' >"$tmp/desktop.reg"
wine regedit /S "$(winepath -w "$tmp/desktop.reg")"
wineserver -w

unzip -q "$out/vaskiloimu-win32.zip" -d "$tmp"
game=$tmp/vaskiloimu-win32

# msvcrt's rand has 15 bits, and its fire only cool colours.
imports() { i686-w64-mingw32-objdump -p "$game/vaskiloimu.exe" | sed -n '/DLL Name: msvcrt.dll/,/^\s*$/p'; }
check "vaskiloimu.exe calls msvcrt, but not its rand or srand" \
    bash -c '! grep -qwE "rand|srand" <<<"$1" && grep -qw malloc <<<"$1"' - "$(imports)"

# Before the picture, in its fade, twice in the swinging seeds' fire, once
# the cut and the edge seeds have begun, after the speed-up, late in the
# cut, the last frame. glibc seeds from the seed as a signed 32-bit number: one above
# 2^31 tells whether the port does so too.
stills=5000,12000,29000,30500,36000,45000,60000,75000 seed=3000000000 fps=20
check "the native stills" "$native/tools/vaskiloimu-stills" --media "$top/media" --seed $seed --fps $fps \
    --still $stills --out-dir "$tmp/native"
# With the zip's DLLs beside it.
cp "$out/vaskiloimu-stills.exe" "$game/"
start "$game" wine vaskiloimu-stills.exe --media . --seed $seed --fps $fps --still $stills --out-dir "$tmp/win"
finish 120
check "the still writer's status 0 under wine" is "$status" 0
for t in ${stills//,/ }; do
    f=still-$(printf %05d "$t").bmp
    check "the still at $t ms as natively" cmp "$tmp/native/$f" "$tmp/win/$f"
done
rm "$game/vaskiloimu-stills.exe"
sox "$game/musa.ogg" -t raw -e signed -b 16 -c 2 -r 48000 "$tmp/music.raw"
convert "$game/galleri.jpg" "$tmp/galleri.ppm"

# Wine plays through ALSA's default device, here a file. Its slave, null,
# takes the sound as fast as it comes, so wine plays the music several times
# faster than real time, but every sample as it would be heard.
cat >"$HOME/.asoundrc" <<EOF
pcm.!default { type plug; slave { pcm "captured"; format S16_LE; rate 48000; channels 2 } }
pcm.captured { type file; slave.pcm "null"; file "$tmp/sound.raw"; format "raw" }
EOF

# Esc a few seconds in, with the waveOut sound driver: SDL's default,
# DirectSound, repeats pieces of its buffer under wine.
start "$game" env SDL_AUDIODRIVER=waveout wine vaskiloimu.exe
if window; then
    sleep 2
    check "pattern" shot pattern pattern $((($(date +%s%3N) - t0 + 1000) * 3 / 2))
    sleep 4
    xdotool key Escape
else
    check "a window captioned vaskiloimu" false
fi
finish 20
check "status 0 on Esc" is "$status" 0
check "music" "$checker" music "$tmp/sound.raw" "$tmp/music.raw"

# To the end, as shipped. The picture is opaque from 26 s on the demo's
# clock and the fire rises over it from 28 s; wine names the window at
# about 0 on that clock.
start "$game" wine vaskiloimu.exe
if window; then
    sleep 27
    check "picture" shot picture picture "$tmp/galleri.ppm"
else
    check "a window captioned vaskiloimu" false
fi
finish 90
check "status 0 at the end" is "$status" 0

start "$game" env SDL_VIDEODRIVER=none wine vaskiloimu.exe
finish 30
check "status 1 without a screen" is "$status" 1
rm "$game/galleri.jpg"
start "$game" wine vaskiloimu.exe
finish 30
check "status 2 without the picture" is "$status" 2
verdict

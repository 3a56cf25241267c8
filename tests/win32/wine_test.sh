#!/usr/bin/env bash
# The Windows build under 32-bit wine on a virtual X screen: what it ships
# (its install step) needs no DLL it does not ship and not msvcrt's rand;
# the capture tool's stills are the native ones byte for byte, fire
# included, with glibc's generator in place of msvcrt's, and with a PNG, a
# transparent PNG, a GIF and a BMP for the picture too; the demo shows the
# pattern exact on its screen, plays the music (ALSA's default device is a
# file here), and ends with status 0 on Esc and at its end, 2 without its
# picture, 1 without a screen. Where this machine cannot run 32-bit
# programs, nor so wine 32-bit Windows ones, only the first two are
# checked, and the status is 77: skipped.
# Usage: wine_test.sh BUILD CHECKER NATIVE_CAPTURE "STILL OPTIONS" "PICTURE
#   STILL OPTIONS" PICTURE MUSIC, CHECKER the Windows build of
#   check_output.cpp.
# Takes about three minutes, most of it one whole run of the demo.
set -euo pipefail
build=$(realpath "$1") native=$3 options=$4 picture_options=$5 picture=$6 music=$7
here=$(cd "$(dirname "$0")" && pwd)
tests=$(dirname "$here")
. "$tests/xrun.sh"
checker=(wine "$(realpath "$2")")

game=$tmp/game
cmake --install "$build" --prefix "$game" >/dev/null
# Every DLL named must be shipped or be part of Windows itself; a missing
# one (libgcc_s_dw2-1.dll, say) only shows on a machine without it.
unshipped() {
    local f d
    for f in "$game"/*.exe "$game"/*.dll; do
        for d in $(i686-w64-mingw32-objdump -p "$f" | sed -n 's/^\s*DLL Name: //p'); do
            case " kernel32.dll user32.dll gdi32.dll winmm.dll advapi32.dll msvcrt.dll ole32.dll shell32.dll " in
                *" ${d,,} "*) ;;
                *) [ -e "$game/$d" ] || echo "${f##*/} needs $d" ;;
            esac
        done
    done
}
check "every DLL it needs is shipped or Windows' own" is "$(unshipped)" ""
# msvcrt's rand has 15 bits, and its fire only cool colours.
imports() { i686-w64-mingw32-objdump -p "$game/vaskiloimu.exe" | sed -n '/DLL Name: msvcrt.dll/,/^\s*$/p'; }
check "vaskiloimu.exe calls msvcrt, but not its rand or srand" \
    bash -c '! grep -qwE "rand|srand" <<<"$1" && grep -qw malloc <<<"$1"' - "$(imports)"

if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
    echo "skipped: this kernel runs no 32-bit programs, so wine runs no 32-bit Windows programs here"
    verdict
    exit 77
fi
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

check "the stills as natively" bash "$tests/same_stills.sh" "$native" "$tests/../media" "$options" \
    wine "$build/vaskiloimu-capture.exe"
check "the stills with other pictures" bash "$tests/picture_stills.sh" "$native" "$tests/../media" \
    "$picture" "$picture_options" wine "$build/vaskiloimu-capture.exe"
sox "$game/$music" -t raw -e signed -b 16 -c 2 -r 48000 "$tmp/music.raw"

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
    check "pattern" shot $((($(date +%s%3N) - t0 + 1000) * 3 / 2))
    sleep 4
    xdotool key Escape
else
    check "a window captioned vaskiloimu" false
fi
finish 20
check "status 0 on Esc" is "$status" 0
check "music" "${checker[@]}" music "$tmp/sound.raw" "$tmp/music.raw"

# To the end, as shipped.
start "$game" wine vaskiloimu.exe
finish 90
check "status 0 at the end" is "$status" 0

start "$game" env SDL_VIDEODRIVER=none wine vaskiloimu.exe
finish 30
check "status 1 without a screen" is "$status" 1
rm "$game/$picture"
start "$game" wine vaskiloimu.exe
finish 30
check "status 2 without the picture" is "$status" 2
verdict

#!/usr/bin/env bash
# The demo in a real X window on a virtual screen of its own, on the SDL 1.2
# it was built with (classic) or on sdl12-compat in its place (compat): its
# caption and full screen, the pattern on it, its end with status 0 on Esc
# and on a close request, and nothing left behind.
# Usage: window_test.sh DEMO TOOLS classic|compat, TOOLS the folder of
# check_output and wm_close.
set -u
demo=$(realpath "$1") checker=$(realpath "$2")/check_output wm_close=$(realpath "$2")/wm_close flavour=$3
here=$(cd "$(dirname "$0")" && pwd)
. "$here/xrun.sh"
lib=/usr/lib/$(gcc -print-multiarch)
[ "$flavour" = compat ] && lib=$lib/sdl12-compat && export LD_LIBRARY_PATH=$lib
# Whatever the demo starts carries this mark, so what outlives it is found.
mark=VASKILOIMU_WINDOW_TEST=$tmp

# Without a window manager a full-screen window and a plain one look alike,
# but classic SDL shows its full screen in a window of its own that no
# window manager may touch (override-redirect).
fullscreen() {
    local w want='"vaskiloimu".*IsViewable'
    [ "$flavour" = classic ] && want='IsViewable *Override Redirect State: yes'
    for w in $(xwininfo -root -children | grep -o '^ *0x[0-9a-f]*'); do
        xwininfo -id "$w" | tr '\n' ' ' | grep -q "$want.*-geometry 640x480+0+0 " && return 0
    done
    return 1
}

for ending in Esc close; do
    start "$here/../media" env SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy "$mark" "$demo"
    window || { finish 1; check "a window captioned vaskiloimu (the demo: status $status)" false; continue; }
    sleep 2
    if [ "$ending" = Esc ]; then
        check "caption and full screen" fullscreen
        check "SDL 1.2 from $lib" grep -q " $lib/libSDL-1\.2" "/proc/$pid/maps"
        # The demo clock starts late by start-up and a pause: its phase, 1.5
        # a millisecond, is below that of the time since launch.
        check "pattern" shot $((($(date +%s%3N) - t0 + 1000) * 3 / 2))
        xdotool key Escape
    else
        "$wm_close" $wid
    fi
    finish 3
    check "status 0 on $ending" is "$status" 0
    check "no window left after $ending" is "$(xdotool search --name '^vaskiloimu$')" ""
done
check "nothing left running" is "$(grep -ls "$mark" /proc/[0-9]*/environ)" ""
verdict

#!/usr/bin/env bash
# The demo in a real X window on a virtual screen of its own, on the SDL 1.2
# it was built with (classic) or on sdl12-compat in its place (compat): its
# caption and full screen, the pattern on it, its end with status 0 on Esc
# and on a close request, and nothing left behind; on sdl12-compat also its
# full screen enlarged by nearest neighbour on a larger screen.
# Usage: window_test.sh DEMO TOOLS classic|compat, TOOLS the folder of
# check_output and wm_close.
set -u
demo=$(realpath "$1") checker=$(realpath "$2")/check_output wm_close=$(realpath "$2")/wm_close flavour=$3
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../tools/test/xrun.sh"
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
        check "pattern" shot pattern pattern $((($(date +%s%3N) - t0 + 1000) * 3 / 2))
        xdotool key Escape
    else
        "$wm_close" $wid
    fi
    finish 3
    check "status 0 on $ending" is "$status" 0
    check "no window left after $ending" is "$(xdotool search --name '^vaskiloimu$')" ""
done
# sdl12-compat enlarges the full screen to a larger desktop; the launcher
# asks it for nearest neighbour. In its first seconds the demo shows only
# the pattern, each of whose colours is B, B/2, B/4 in B, G, R: a smooth
# enlargement blends neighbours into colours off that line.
only_pattern_colours() {
    convert "$1" -depth 8 -unique-colors txt:- | sed -n 's/^[^(]*(\([0-9]*\),\([0-9]*\),\([0-9]*\).*/\1 \2 \3/p' |
        awk '{ n++; if ($2 != int($3 / 2) || $1 != int($3 / 4)) off++ }
            END { printf "%d colours, %d off the pattern'"'"'s\n", n, off; exit !(n >= 64 && !off) }'
}
if [ "$flavour" = compat ]; then
    Xvfb -displayfd 3 -screen 0 1280x960x24 -noreset -nolisten tcp 3>"$tmp/display-2x" 2>/dev/null &
    for _ in $(seq 100); do [ -s "$tmp/display-2x" ] && break; sleep 0.1; done
    small=$DISPLAY DISPLAY=:$(cat "$tmp/display-2x")
    mkdir "$tmp/bin" && cp "$here/../dist/vaskiloimu-play" "$tmp/bin" && ln -s "$demo" "$tmp/bin/vaskiloimu"
    start / env SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy "$mark" "$tmp/bin/vaskiloimu-play" "$here/../media"
    if window; then
        sleep 2
        import -window root "$tmp/2x.ppm"
        check "enlarged by nearest neighbour: only the pattern's colours" only_pattern_colours "$tmp/2x.ppm"
        xdotool key Escape
    else
        check "a window captioned vaskiloimu on the larger screen" false
    fi
    finish 3
    DISPLAY=$small
fi
check "nothing left running" is "$(grep -ls "$mark" /proc/[0-9]*/environ)" ""
verdict

#!/usr/bin/env bash
# Builds the demo if needed and plays it with the default media.
set -euo pipefail
top=$(cd "$(dirname "$0")" && pwd)
. "$top/tools/packages.sh"

build() {
    (cd "$top" && cmake --preset linux -DVASKILOIMU_TESTS=OFF >/dev/null && cmake --build --preset linux --target "$1" >/dev/null)
}

# Without a display there is nothing to show the demo on: record it instead,
# frame-exact, with its music, to a video that can be watched elsewhere.
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -z "${SDL_VIDEODRIVER:-}" ]; then
    echo "No display here: capturing the whole demo to a video instead." >&2
    # shellcheck disable=SC2046 # the names are words
    need $(packages build) ffmpeg
    build vaskiloimu-capture
    "$top/build/vaskiloimu-capture" --media "$top/media" --out "$top/vaskiloimu.mkv"
    echo "The demo is in $top/vaskiloimu.mkv" >&2
    exit 0
fi

# shellcheck disable=SC2046
need $(packages build)
build vaskiloimu

# sdl12-compat, the SDL 1.2 of newer systems, enlarges the full screen to
# the desktop smoothly, which blurs the pattern's single-pixel detail.
export SDL12COMPAT_SCALE_METHOD=${SDL12COMPAT_SCALE_METHOD:-nearest}

# With no sound card, no sound server and no ALSA set-up of the user's own,
# ALSA prints a page of errors for each attempt to find a device; SDL's
# silent driver plays the music to nowhere instead, quietly.
sound_here() {
    local run=${XDG_RUNTIME_DIR:-/run/user/$(id -u)}
    [ -e /dev/snd ] || [ -n "${PULSE_SERVER:-}" ] || [ -S "$run/pulse/native" ] || [ -S "$run/pipewire-0" ] ||
        [ -e "$HOME/.asoundrc" ] || [ -e /etc/asound.conf ]
}
[ -n "${SDL_AUDIODRIVER:-}" ] || sound_here || export SDL_AUDIODRIVER=dummy
cd "$top/media"
exec "$top/build/vaskiloimu"

#!/usr/bin/env bash
# Builds the demo if needed and plays it with the default media.
set -euo pipefail
top=$(cd "$(dirname "$0")" && pwd)
. "$top/tools/deps.sh"

if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -z "${SDL_VIDEODRIVER:-}" ]; then
    echo "No display here (DISPLAY is not set): run this on a desktop." >&2
    exit 1
fi

need "${BUILD_DEPS[@]}"
cmake -S "$top" -B "$top/build" -DVASKILOIMU_TESTS=OFF >/dev/null
cmake --build "$top/build" -j"$(nproc)" --target vaskiloimu >/dev/null
cd "$top/media"
exec "$top/build/vaskiloimu"

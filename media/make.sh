#!/usr/bin/env bash
# Regenerates the demo's default media next to this script: the picture and
# the music from makemedia.cpp, and the desktop icon (vaskiloimu.png) from the
# picture. The output is deterministic: rerunning gives the same bytes.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
top=$(dirname "$here")
. "$top/tools/deps.sh"

need g++ pkg-config libjpeg-dev libvorbis-dev libogg-dev imagemagick

mapfile -t names < <(media_files)
picture=${names[0]} music=${names[1]}

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# -ffp-contract=off: fused multiply-adds would round differently and change the bytes.
# shellcheck disable=SC2046  # pkg-config output is meant to split into flags
g++ -std=c++17 -O2 -ffp-contract=off -Wall -Wextra -o "$tmp/makemedia" "$here/makemedia.cpp" \
    $(pkg-config --cflags --libs libjpeg vorbisenc vorbis ogg)

# Write into the temp dir first so a failed run never leaves half a file in place.
"$tmp/makemedia" "$tmp/$picture" "$tmp/$music"
# The desktop icon: the medallion cut out of the picture, its black made clear.
convert "$tmp/$picture" -crop 340x340+130+40 +repage -resize 128x128 \
    -fuzz 2% -transparent black -strip -define png:exclude-chunks=date,time "$tmp/vaskiloimu.png"
mv -f "$tmp/$picture" "$tmp/$music" "$tmp/vaskiloimu.png" "$here/"

#!/usr/bin/env bash
# Regenerates the demo's default media (galleri.jpg, musa.ogg) next to this script
# from makemedia.cpp. The output is deterministic: rerunning gives the same bytes.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

need=()
command -v g++ >/dev/null 2>&1 || need+=(g++)
command -v pkg-config >/dev/null 2>&1 || need+=(pkg-config)
pkg-config --exists libjpeg 2>/dev/null || need+=(libjpeg-dev)
pkg-config --exists vorbisenc vorbis ogg 2>/dev/null || need+=(libvorbis-dev libogg-dev)
if [ "${#need[@]}" -gt 0 ]; then
    if [ "$(id -u)" -ne 0 ]; then
        echo "make.sh: missing build packages: ${need[*]}" >&2
        exit 1
    fi
    apt-get update
    DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${need[@]}"
fi

tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT

# -ffp-contract=off: fused multiply-adds would round differently and change the bytes.
# shellcheck disable=SC2046  # pkg-config output is meant to split into flags
g++ -std=c++17 -O2 -ffp-contract=off -Wall -Wextra -o "$tmp/makemedia" "$here/makemedia.cpp" \
    $(pkg-config --cflags --libs libjpeg vorbisenc vorbis ogg)

# Write into the temp dir first so a failed run never leaves half a file in place.
"$tmp/makemedia" "$tmp"
mv -f "$tmp/galleri.jpg" "$here/galleri.jpg"
mv -f "$tmp/musa.ogg" "$here/musa.ogg"

# The desktop icon: the medallion cut out of the picture, its black made clear.
if command -v convert >/dev/null 2>&1; then
    convert "$here/galleri.jpg" -crop 340x340+130+40 +repage -resize 128x128 \
        -fuzz 2% -transparent black -strip -define png:exclude-chunks=date,time "$here/vaskiloimu.png"
else
    echo "make.sh: ImageMagick's convert is missing: the icon was not remade" >&2
fi

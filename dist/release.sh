#!/usr/bin/env bash
# Makes the release from this checkout's commit into OUT/vaskiloimu-VERSION/
# (OUT: release/ by default): the Debian package, the Windows zip, the page
# as a zip of the served site and as one HTML file, the capture (a lossless
# master, a video to upload, a sheet of stills), the commit they came from,
# and SHA256SUMS over all of them. It builds with the presets and packs what
# they built. The package, the zips, the one-file page and the sheet are the
# same bytes from the same commit, whatever the folder, the time, the umask,
# the locale or the user.
#
#   bash dist/release.sh [--no-capture] [OUT]
#   --no-capture: the package, the zips and the one-file page alone (what
#   the reproducibility check builds twice)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
capture=1
[ "${1:-}" = --no-capture ] && capture= && shift
out=$(realpath -m "${1:-$top/release}")
. "$top/tools/packages.sh"
# shellcheck disable=SC2046 # the names are words
need $(packages release)

# Every packed file carries the commit's time; what the builder's umask,
# locale and time zone would change is fixed here.
cd "$top"
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)} LC_ALL=C.UTF-8 TZ=UTC
umask 022
for preset in linux win32 web; do
    cmake --preset $preset >/dev/null
done
cmake --build --preset linux
cmake --build --preset win32 --target all zip >/dev/null
cmake --build --preset web --target all zip
version=$(build/vaskiloimu-capture --version | cut -d ' ' -f 2)
dir=$out/vaskiloimu-$version
rm -rf "$dir"
mkdir -p "$dir"
(cd build && cpack -G DEB >/dev/null)
cp "build/vaskiloimu_${version}_$(dpkg --print-architecture).deb" "$dir/"
cp build-win32/vaskiloimu-win32.zip "$dir/vaskiloimu-$version-win32.zip"
cp build-web/vaskiloimu-web.zip "$dir/vaskiloimu-$version-web.zip"
cp build-web/vaskiloimu.html "$dir/vaskiloimu-$version.html"

if [ -n "$capture" ]; then
    # Always the same fire: the seed is fixed.
    cap=(build/vaskiloimu-capture --media media --seed 1 --quiet)
    "${cap[@]}" --lossless --out "$dir/vaskiloimu-$version-master.mkv"
    "${cap[@]}" --scale 4 --out "$dir/vaskiloimu-$version.mp4"
    stills=$(mktemp -d)
    "${cap[@]}" --still 5000,18000,30000,45000,58000 --out-dir "$stills"
    montage "$stills"/still-*.png -tile x1 -geometry +0+0 -define png:exclude-chunks=date,time \
        "$dir/vaskiloimu-$version-stills.png"
    rm -rf "$stills"
fi

git describe --always --abbrev=40 --dirty >"$dir/commit"
(cd "$dir" && sha256sum -- * >SHA256SUMS)
echo "$dir"

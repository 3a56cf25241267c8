#!/usr/bin/env bash
# The page in a browser in its test mode, on the scripted clock:
# its canvas equals the native capture tool's stills at the same clock
# values and seed, and its sound, from clock 0 to the end, is the music as
# decoded natively; so does its canvas started at a moment (from=MS), at
# the moments after it, and at fewer moments with a PNG, a transparent PNG,
# a GIF and a BMP served in place of its picture; and the page is small
# enough to download.
# Usage: page_test.sh ENGINE SITE NATIVE_CAPTURE "STILL OPTIONS" QUERY MUSIC
#   IMAGE "PICTURE STILL OPTIONS" PICTURE_QUERY, ENGINE chromium, firefox or
#   webkit, each query the one the page's test mode takes for the same
#   stills. Exit status 77 when the engine cannot be started here.
set -u
engine=$1 site=$2 native=$3 options=$4 query=$5 music=$6 image=$7 picture_options=$8 picture_query=$9
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../checks.sh"

total=$(du -cb "$site" | tail -n 1 | cut -f1)
gz=$(cat "$site"/vaskiloimu.js "$site"/vaskiloimu.wasm "$site"/worker.js | gzip -9 | wc -c)
check "download $total bytes (at most 2621440), program $gz bytes gzipped (at most 307200)" \
    test "$total" -le 2621440 -a "$gz" -le 307200

# same_canvas NAME MEDIA "OPTIONS" QUERY [NAME=FILE]: the page in test mode,
# served FILE as NAME if given, ends well, at its end or on Esc once its
# stills are in, and its canvas is the native frame at each moment, in
# tmp/NAME; with from=MS in QUERY, at the moments from MS on.
same_canvas() {
    local dir=$tmp/$1 f t from
    from=$(sed -n 's/.*[?&]from=\([0-9]*\).*/\1/p' <<<"$4")
    mkdir -p "$dir/page"
    # shellcheck disable=SC2086 # the options are words
    "$native" --media "$2" $3 --quiet --out-dir "$dir/native" || check "native stills" false
    timeout 300 node --experimental-websocket --disable-warning=ExperimentalWarning \
        "$here/../../tools/dev/browser.js" "$engine" "$site" "$4" "$dir/page" "${@:5}"
    [ $? -ne 77 ] || exit 77
    check "$1: the page ends with status 0" is "$(cat "$dir/page/done" "$dir/page/fail" 2>/dev/null)" 0
    # The canvas's bytes are R, G, B, A, opaque.
    for f in "$dir"/native/still-*.png; do
        t=${f##*still-} t=$((10#${t%.png}))
        [ "$t" -ge "${from:-0}" ] || continue
        check "$1: the canvas is the native frame at $t ms" cmp -s "$dir/page/still-$t" \
            <(convert "$f" -depth 8 -alpha opaque rgba:-)
    done
}
same_canvas default "$here/../../media" "$options" "$query"
# Before the fire, and in the edge seeds' window.
for from in 12000 36000; do
    same_canvas "from $from" "$here/../../media" "$options" "$query&from=$from"
done
for kind in $picture_kinds; do
    picture_media "$here/../../media" "$image" $kind "$tmp/$kind-media" || check "$kind picture" false
    same_canvas $kind "$tmp/$kind-media" "$picture_options" "$picture_query" "$image=$tmp/$kind-media/$image"
done
sox "$site/$music" -t raw -e signed -b 16 -L -r 48000 -c 2 "$tmp/music.raw"
sound() {
    python3 - "$tmp/default/page/audio" "$tmp/music.raw" <<'PY'
import array, os, sys
page, music = (array.array('h', open(f, 'rb').read() if os.path.exists(f) else b'') for f in sys.argv[1:])
n = 75000 * 48 * 2
print(f'{len(page)} of {n} samples from clock 0, each within 1 of the native decoding')
sys.exit(len(page) != n or max(map(abs, map(int.__sub__, page, music[:n]))) > 1)
PY
}
check "the sound" sound
verdict

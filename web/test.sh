#!/usr/bin/env bash
# Tests the web build (web/build.sh makes or reuses it): its download sizes;
# the page in headless Chromium on its scripted clock, whose canvas must
# equal the native capture tool's frames at the same clock values and seed
# in every phase of the timeline, and whose sound must be the music as
# decoded natively, from clock 0 to the end; the page's controls, played
# normally (controls_test.js); its benchmark, briefly, so that it keeps working;
# and the image loader the ports share, fuzzed under AddressSanitizer and
# UndefinedBehaviorSanitizer.
# VASKILOIMU_NATIVE_BUILD names a native build folder to take the capture tool
# from; without it the test keeps one of its own beside the web build.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
top=$(dirname "$here")
. "$top/tools/deps.sh"
need "${BUILD_DEPS[@]}" nodejs chromium imagemagick sox libsox-fmt-base python3 clang libclang-rt-14-dev libjpeg-dev

tmp=$(mktemp -d)
mkdir -p "$tmp/got" "$tmp/seeds" "$tmp/found"
# The last line, "N passed, M failed", is what the top test script adds up.
trap 'kill $(jobs -p) 2>/dev/null; wait; rm -rf "$tmp"; echo "$passed passed, $failed failed"' EXIT
passed=0 failed=0
ok() { echo "ok: $*"; passed=$((passed + 1)); }
bad() { echo "FAILED: $*"; failed=$((failed + 1)); }

site=$("$here/build.sh") || { bad "web build"; exit 1; }
mapfile -t media < <(media_files)  # the picture, the music
total=$(du -cb "$site" | tail -n 1 | cut -f1)
gz=0
for f in vaskiloimu.js vaskiloimu.wasm worker.js; do gz=$((gz + $(gzip -9c "$site/$f" | wc -c))); done
[ "$total" -le 2621440 ] && [ "$gz" -le 307200 ] && ok "download $total bytes, program $gz bytes gzipped" ||
    bad "download $total bytes (most 2621440), program $gz bytes gzipped (most 307200)"

# Before the picture, its fade, both seeding windows, the speed-up, the cut, the last frame.
stills=5000,12000,30000,36000,45000,60000,75000 seed=20240611 fps=20
native=${VASKILOIMU_NATIVE_BUILD:-${VASKILOIMU_WEB_OUT:-$top/build-web}/native}
[ -e "$native/CMakeCache.txt" ] || cmake -S "$top" -B "$native" -DCMAKE_BUILD_TYPE=Release -DVASKILOIMU_TESTS=OFF >/dev/null
cmake --build "$native" -j2 --target vaskiloimu-capture >/dev/null && "$native/tools/capture/vaskiloimu-capture" \
    --media "$top/media" --seed $seed --fps $fps --still $stills --out-dir "$tmp/ref" --quiet || bad "native reference frames"

# The page on its scripted clock, reporting to got/.
timeout 600 node "$here/chromium.js" "$site" "?fps=$fps&seed=$seed&still=$stills" "$tmp/got"
[ "$(cat "$tmp/got/done" 2>/dev/null)" = 0 ] && [ ! -e "$tmp/got/fail" ] && ok "page runs to its end" ||
    bad "page did not end with status 0: $(cat "$tmp/got/fail" 2>/dev/null)"

sox "$top/media/${media[1]}" -t raw -e signed -b 16 -L -r 48000 -c 2 "$tmp/music.raw"
# The canvas's bytes are R, G, B, A, opaque.
for t in ${stills//,/ }; do
    convert "$tmp/ref/still-$(printf %05d "$t").png" -depth 8 -alpha opaque rgba:- | cmp -s - "$tmp/got/still-$t" &&
        ok "canvas equals the native frame at $t ms" || bad "canvas equals the native frame at $t ms"
done
sound=$(python3 - "$tmp/got/audio" "$tmp/music.raw" <<'EOF'
import array, os, sys
web, ref = (array.array('h', open(f, 'rb').read() if os.path.exists(f) else b'') for f in sys.argv[1:])
n = 75000 * 48 * 2
print(f'sound: {len(web)} of {n} samples from clock 0, each within 1 of the native decoding')
sys.exit(len(web) != n or max(map(abs, map(int.__sub__, web, ref[:n]))) > 1)
EOF
) && ok "$sound" || bad "$sound"

# The page played normally, driven over the DevTools protocol.
timeout 180 node "$here/controls_test.js" "$site" "${media[@]}" >"$tmp/controls.log" 2>&1
status=$?
while read -r line; do
    case $line in
    ok:*) ok "${line#ok: }" ;;
    FAILED:*) bad "${line#FAILED: }" ;;
    esac
done <"$tmp/controls.log"
[ "$status" -eq 0 ] || grep -q '^FAILED' "$tmp/controls.log" || bad "the controls test ended with status $status"
timeout 120 node "$here/bench.js" "$site" 3 3 >"$tmp/bench.log" 2>&1 &&
    ok "benchmark, 3 s: $(tail -n 1 "$tmp/bench.log")" || { cat "$tmp/bench.log"; bad "benchmark"; }

# The loader, from a few tiny pictures of our own, for a bounded time.
# Baseline JPEG, progressive grey JPEG, true-colour BMP and 16-colour BMP.
convert "$top/media/${media[0]}" -resize 8x6 -write "$tmp/seeds/a.jpg" -write BMP3:"$tmp/seeds/c.bmp" \
    \( +clone -colors 16 -type Palette -write BMP3:"$tmp/seeds/d.bmp" +delete \) -interlace JPEG -colorspace Gray "$tmp/seeds/b.jpg"
# A BMP header of 16383 by 65535 pixels and no pixels: SDL alone would work
# out its size in an int that overflows.
{ printf 'BM\0\0\0\0\0\0\0\0\66\0\0\0\50\0\0\0\377\77\0\0\377\377\0\0\1\0\40\0'; head -c 88 /dev/zero; } >"$tmp/seeds/e.bmp"
# shellcheck disable=SC2046  # sdl-config output is meant to split into flags
clang -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all -I"$top/ports" $(sdl-config --cflags) \
    "$top/ports/image.c" "$top/ports/fuzz_test.c" -o "$tmp/fuzz" $(sdl-config --libs) -ljpeg &&
    (cd "$tmp" && timeout 120 ./fuzz -max_total_time=30 -timeout=10 found seeds >fuzz.log 2>&1) &&
    ok "image loader fuzzed 30 s: $(grep -o 'Done [0-9]* runs' "$tmp/fuzz.log")" ||
    { tail -n 40 "$tmp/fuzz.log"; bad "image loader under the fuzzer"; }

[ "$failed" -eq 0 ]

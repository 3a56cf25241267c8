#!/usr/bin/env bash
# Tests the web build (web/build.sh makes or reuses it): its download sizes;
# the page in headless Chromium on its scripted clock, whose canvas must
# equal the native capture tool's frames at the same clock values and seed
# in every phase of the timeline, and whose sound must be the music as
# decoded natively, from clock 0 to the end; and the image loader the ports
# share, fuzzed under AddressSanitizer and UndefinedBehaviorSanitizer.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
top=$(dirname "$here")
. "$top/tools/deps.sh"
need "${BUILD_DEPS[@]}" chromium imagemagick sox libsox-fmt-base python3 clang libclang-rt-14-dev libjpeg-dev

tmp=$(mktemp -d)
mkdir -p "$tmp/got" "$tmp/seeds" "$tmp/found"
# The last line, "N passed, M failed", is what the top test script adds up.
trap 'kill $(jobs -p) 2>/dev/null; wait; rm -rf "$tmp"; echo "$passed passed, $failed failed"' EXIT
passed=0 failed=0
ok() { echo "ok: $*"; passed=$((passed + 1)); }
bad() { echo "FAILED: $*"; failed=$((failed + 1)); }

site=$("$here/build.sh") || { bad "web build"; exit 1; }
total=$(du -cb "$site" | tail -n 1 | cut -f1)
gz=$(( $(gzip -9c "$site/vaskiloimu.js" | wc -c) + $(gzip -9c "$site/vaskiloimu.wasm" | wc -c) ))
[ "$total" -le 2621440 ] && [ "$gz" -le 307200 ] && ok "download $total bytes, program $gz bytes gzipped" ||
    bad "download $total bytes (most 2621440), program $gz bytes gzipped (most 307200)"

# Before the picture, its fade, both seeding windows, the speed-up, the cut, the last frame.
stills=5000,12000,30000,36000,45000,60000,75000 seed=20240611 fps=20
native=${VASKILOIMU_WEB_OUT:-$top/build-web}/native
{ cmake -S "$top" -B "$native" -DCMAKE_BUILD_TYPE=Release -DVASKILOIMU_TESTS=OFF && cmake --build "$native" -j2 --target vaskiloimu-capture; } >"$tmp/native.log" 2>&1 &&
    "$native/tools/capture/vaskiloimu-capture" --media "$top/media" --seed $seed --fps $fps --still $stills \
        --out-dir "$tmp/ref" --quiet || bad "native reference frames (see $native)"

# A static server that also takes what the page reports in test mode.
python3 - "$site" "$tmp/got" 2>/dev/null <<'EOF' &
import functools, http.server, os, sys
site, out = sys.argv[1:]
class Handler(http.server.SimpleHTTPRequestHandler):
    def do_POST(self):
        data = self.rfile.read(int(self.headers['Content-Length']))
        name = os.path.join(out, os.path.basename(self.path))
        with open(name + '.part', 'wb') as f:
            f.write(data)
        os.replace(name + '.part', name)
        self.send_response(204)
        self.end_headers()
server = http.server.ThreadingHTTPServer(('127.0.0.1', 0), functools.partial(Handler, directory=site))
with open(os.path.join(out, '..', 'port'), 'w') as f:
    f.write(str(server.server_port))
server.serve_forever()
EOF
for _ in $(seq 50); do [ -s "$tmp/port" ] && break; sleep 0.2; done
chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run --disable-background-networking \
    --disable-component-update --disable-sync --user-data-dir="$tmp/profile" --autoplay-policy=no-user-gesture-required \
    "http://127.0.0.1:$(cat "$tmp/port")/?fps=$fps&seed=$seed&still=$stills" >"$tmp/chromium.log" 2>&1 &
for _ in $(seq 600); do [ -e "$tmp/got/done" ] && break; sleep 0.5; done
[ "$(cat "$tmp/got/done" 2>/dev/null)" = 0 ] && [ ! -e "$tmp/got/fail" ] && ok "page runs to its end" ||
    bad "page did not end with status 0: $(cat "$tmp/got/fail" 2>/dev/null)"

sox "$top/media/musa.ogg" -t raw -e signed -b 16 -L -r 48000 -c 2 "$tmp/music.raw"
python3 - "$tmp" $stills <<'EOF'
import array, os, subprocess, sys
tmp, stills, bad = sys.argv[1], sys.argv[2].split(','), []
def check(good, what):
    print(('ok: ' if good else 'FAILED: ') + what) or good or bad.append(what)
def read(name):
    return open(name, 'rb').read() if os.path.exists(name) else b''
for t in stills:
    web = read(f'{tmp}/got/still-{t}')
    rgb = bytearray(len(web) // 4 * 3)
    for c in range(3):
        rgb[c::3] = web[c::4]
    ref = subprocess.run(['convert', f'{tmp}/ref/still-{int(t):05d}.png', '-depth', '8', 'rgb:-'],
                         capture_output=True).stdout
    check(len(ref) == 640 * 480 * 3 and rgb == ref, f'canvas equals the native frame at {t} ms')
web, ref = array.array('h', read(f'{tmp}/got/audio')), array.array('h', read(f'{tmp}/music.raw'))
n = 75000 * 48 * 2
check(len(web) == n and max(map(abs, map(int.__sub__, web, ref[:n]))) <= 1,
      f'sound: {len(web)} of {n} samples from clock 0, each within 1 of the native decoding')
sys.exit(len(bad))
EOF
r=$?; IFS=, read -ra t <<<"$stills"
passed=$((passed + ${#t[@]} + 1 - r)) failed=$((failed + r))  # a check per still, and the sound

# The loader, from a few tiny pictures of our own, for a bounded time.
g=$top/media/galleri.jpg
convert "$g" -resize 8x6 "$tmp/seeds/a.jpg"
convert "$g" -resize 8x6 -interlace JPEG -colorspace Gray "$tmp/seeds/b.jpg"
convert "$g" -resize 8x6 BMP3:"$tmp/seeds/c.bmp"
convert "$g" -resize 8x6 -colors 16 -type Palette BMP3:"$tmp/seeds/d.bmp"
# shellcheck disable=SC2046  # sdl-config output is meant to split into flags
clang -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all -I"$top/ports" $(sdl-config --cflags) \
    "$top/ports/image.c" "$top/ports/fuzz_test.c" -o "$tmp/fuzz" $(sdl-config --libs) -ljpeg &&
    (cd "$tmp" && timeout 300 ./fuzz -max_total_time=60 -timeout=10 found seeds >fuzz.log 2>&1) &&
    ok "image loader fuzzed 60 s: $(grep -o 'Done [0-9]* runs' "$tmp/fuzz.log")" ||
    { tail -n 40 "$tmp/fuzz.log"; bad "image loader under the fuzzer"; }

[ "$failed" -eq 0 ]

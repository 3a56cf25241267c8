#!/usr/bin/env bash
# The image loader the ports share, under libFuzzer with the sanitizers for
# 30 seconds, from a few tiny pictures of our own: baseline JPEG, progressive
# grey JPEG, true-colour BMP, 16-colour BMP, a BMP header of 16383 by 65535
# pixels and no pixels, whose size SDL alone would work out in an int that
# overflows, interlaced PNG with alpha, 4-bit palette PNG, and interlaced
# GIF with a transparent colour.
# Usage: fuzz_test.sh FUZZER PICTURE
set -euo pipefail
fuzzer=$1 picture=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir "$tmp/seeds" "$tmp/found"
convert "$picture" -resize 8x6 -write "$tmp/seeds/a.jpg" -write BMP3:"$tmp/seeds/c.bmp" \
    \( +clone -colors 16 -type Palette -write BMP3:"$tmp/seeds/d.bmp" \
        -define png:bit-depth=4 -write PNG:"$tmp/seeds/g.png" +define png:bit-depth +delete \) \
    \( +clone -fuzz 20% -transparent black -interlace PNG -write PNG32:"$tmp/seeds/f.png" \
        -interlace GIF -write "$tmp/seeds/h.gif" +delete \) \
    -interlace JPEG -colorspace Gray "$tmp/seeds/b.jpg"
{ printf 'BM\0\0\0\0\0\0\0\0\66\0\0\0\50\0\0\0\377\77\0\0\377\377\0\0\1\0\40\0'; head -c 88 /dev/zero; } >"$tmp/seeds/e.bmp"
cd "$tmp"
"$fuzzer" -max_total_time=30 -timeout=10 found seeds >fuzz.log 2>&1 || { tail -n 40 fuzz.log; exit 1; }
grep -o 'Done [0-9]* runs.*' fuzz.log

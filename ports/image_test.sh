#!/usr/bin/env bash
# The image loader the ports share against SDL_image, on the kinds of
# picture people have, made from PICTURE with ImageMagick: PNG in every
# colour type and depth, with and without transparency, interlaced; GIF
# plain, transparent, interlaced, animated and offset on its canvas; BMP and
# JPEG; and PNG and JPEG cut short, which both must refuse or read alike.
# Usage: image_test.sh IMAGE_TEST PICTURE
set -euo pipefail
compare=$1 picture=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cd "$tmp"
convert "$picture" -resize 101x67! base.ppm
png() { convert base.ppm "${@:3}" "$2:$1"; }
png rgb.png PNG24
png rgba.png PNG32 -fuzz 20% -transparent black
png rgba-half.png PNG32 -alpha set -channel A -evaluate set 50% +channel
png rgb16.png PNG48 -depth 16
png rgba16.png PNG64 -fuzz 20% -transparent black -depth 16
png palette.png PNG8 -colors 50
png palette-key.png PNG8 -colors 50 -fuzz 20% -transparent black
png palette4.png PNG -colors 12 -define png:bit-depth=4 -define png:color-type=3
png grey.png PNG -colorspace gray -define png:color-type=0
png grey1.png PNG -colorspace gray -monochrome -define png:bit-depth=1 -define png:color-type=0
png grey4.png PNG -colorspace gray -define png:bit-depth=4 -define png:color-type=0
png grey16.png PNG -colorspace gray -depth 16 -define png:color-type=0
png grey-alpha.png PNG -colorspace gray -fuzz 20% -transparent black -define png:color-type=4
png interlaced.png PNG32 -interlace PNG
png plain.gif GIF
png key.gif GIF -fuzz 20% -transparent black
png interlaced.gif GIF -interlace GIF
png two.gif GIF -colors 2
convert -size 40x30 xc:navy \( base.ppm -resize 20x10! -repage +5+7 \) -delay 10 -loop 0 animated.gif
convert base.ppm -resize 20x10! -repage 60x40+9+11 offset.gif
png true.bmp BMP3
png picture.jpg JPEG
# Transparency by tRNS chunk, which ImageMagick does not write: one colour
# of a true-colour picture, and a palette with translucent entries. (A grey
# picture with one transparent level is left out: SDL_image reads it into a
# surface of two bytes a pixel that shows false colours; the loader reads
# its grey levels.)
python3 - <<'PY'
import struct, zlib
def chunk(kind, data):
    return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data))
def png(name, kind, pixel, extra):
    w, h = 37, 23
    rows = b''.join(b'\0' + b''.join(pixel(x, y) for x in range(w)) for y in range(h))
    head = struct.pack('>IIBBBBB', w, h, 8, kind, 0, 0, 0)
    open(name, 'wb').write(b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', head) + extra +
                           chunk(b'IDAT', zlib.compress(rows)) + chunk(b'IEND', b''))
png('rgb-key.png', 2, lambda x, y: bytes((x * 7 % 256, y * 11, 21)), chunk(b'tRNS', struct.pack('>HHH', 21, 11, 21)))
png('palette-alpha.png', 3, lambda x, y: bytes(((x + y) % 16,)),
    chunk(b'PLTE', bytes(c for i in range(16) for c in (i * 16, 255 - i * 9, i * 5))) +
    chunk(b'tRNS', bytes(range(0, 256, 37))))
PY
head -c 2000 rgb.png >cut.png
head -c 1500 picture.jpg >cut.jpg
"$compare" ./*.png ./*.gif ./*.bmp ./*.jpg

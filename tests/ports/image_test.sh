#!/usr/bin/env bash
# The image loader the ports share against SDL_image, on the kinds of
# picture people have, made from PICTURE with ImageMagick: PNG in every
# colour type, 1 to 16 bits, with and without transparency (an alpha
# channel, a transparent palette entry or colour), interlaced; GIF plain,
# transparent, interlaced, animated and offset on its canvas; BMP and JPEG;
# and PNG and JPEG cut short, which both must refuse or read alike. (A grey
# PNG with one transparent level is left out: SDL_image reads it into a
# surface of two bytes a pixel that shows false colours; the loader reads
# its grey levels.)
# Usage: image_test.sh IMAGE_TEST PICTURE
set -euo pipefail
compare=$1 picture=$2
export SDL_VIDEODRIVER=dummy
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cd "$tmp"
convert "$picture" -resize 101x67! base.ppm
png() { convert base.ppm "${@:3}" "$2:$1"; }
png rgb.png PNG24
png rgba.png PNG32 -fuzz 20% -transparent black
png rgb-key.png PNG -fuzz 20% -transparent black -define png:color-type=2
png rgb16.png PNG48 -depth 16
png palette.png PNG8 -colors 50
png palette-key.png PNG8 -colors 50 -fuzz 20% -transparent black
png palette4.png PNG -colors 12 -define png:bit-depth=4 -define png:color-type=3
png grey.png PNG -colorspace gray -define png:color-type=0
png grey1.png PNG -colorspace gray -monochrome -define png:bit-depth=1 -define png:color-type=0
png grey16.png PNG -colorspace gray -depth 16 -define png:color-type=0
png grey-alpha.png PNG -colorspace gray -fuzz 20% -transparent black -define png:color-type=4
png interlaced.png PNG32 -interlace PNG
png plain.gif GIF
png key.gif GIF -fuzz 20% -transparent black
png interlaced.gif GIF -interlace GIF
convert -size 40x30 xc:navy \( base.ppm -resize 20x10! -repage +5+7 \) -delay 10 -loop 0 animated.gif
convert base.ppm -resize 20x10! -repage 60x40+9+11 offset.gif
png true.bmp BMP3
png picture.jpg JPEG
head -c 2000 rgb.png >cut.png
head -c 1500 picture.jpg >cut.jpg
"$compare" ./*.png ./*.gif ./*.bmp ./*.jpg

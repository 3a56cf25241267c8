#!/usr/bin/env bash
# The default media made again from nothing, each against the committed one
# byte for byte. Their bytes depend on the encoders too, and the music's on the
# machine: where this one's differ from those the committed media were made
# with, a file whose bytes differ is compared by what it still can, its pixels,
# or not at all, and its line says so.
# Usage: media_test.sh MAKEMEDIA CONVERT MEDIA PICTURE MUSIC
set -u
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/tests/checks.sh"
convert=$2 media=$3 picture=$4 music=$5
check "made from nothing" bash "$top/media/make.sh" "$tmp" "$picture" "$music" "$1" "$convert"

# What this machine has: lib KIND, the library ImageMagick reads or writes KIND
# with (the picture's maker links the same libjpeg-turbo).
lib() { "$convert" -list format | sed -n "s/^ *$1\* .*(\(.*\))\$/\1/p"; }
magick="$("$convert" -version | sed -n 's/^Version: \(ImageMagick [^ ]* [^ ]* [^ ]*\).*/\1/p'), $(lib JPEG)"
vorbis="$(grep -a -o -m1 'libVorbis I [0-9]*' "$tmp/$music"), $(getconf GNU_LIBC_VERSION), $(uname -m)"
pixels() { "$convert" "$1" -depth 8 rgba:-; }

# same FILE THEN HERE [PIXELS_THEN PIXELS_HERE]: the bytes, unless the
# libraries differ (THEN the committed file's, HERE this machine's): then
# the pixels, if those that make them are the same, or nothing.
same() {
    cmp -s "$tmp/$1" "$media/$1" && return
    [ "$2" != "$3" ] || { cmp "$tmp/$1" "$media/$1"; return 1; }
    if [ -n "${4:-}" ] && [ "$4" = "$5" ]; then
        echo "the pixels only: made with $2, here $3"
        cmp <(pixels "$tmp/$1") <(pixels "$media/$1")
    else
        echo "not compared: made with $2, here $3"
    fi
}
# The committed media were made on Debian 12.
check "$picture" same "$picture" "libjpeg-turbo 2.1.5" "$(lib JPEG)" - -
check "$music" same "$music" "libVorbis I 20200704, glibc 2.36, x86_64" "$vorbis"
check vaskiloimu.png same vaskiloimu.png "ImageMagick 6.9.11-60 Q16 x86_64, libjpeg-turbo 2.1.5, \
libpng 1.6.39, zlib 1.2.13" "$magick, $(lib PNG), $(lib PNG24)" \
    "ImageMagick 6.9.11-60 Q16 x86_64, libjpeg-turbo 2.1.5" "$magick"
verdict

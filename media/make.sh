#!/usr/bin/env bash
# The default media made from nothing into a folder: the picture and the music
# by their maker, and the desktop icon cut out of the picture by ImageMagick.
# Usage: make.sh FOLDER PICTURE MUSIC MAKEMEDIA CONVERT
set -eu
"$4" "$1/$2" "$1/$3"
# The icon: the medallion, its black made clear.
"$5" "$1/$2" -crop 340x340+130+40 +repage -resize 128x128 -fuzz 2% -transparent black -strip \
    -define png:exclude-chunks=date,time "$1/vaskiloimu.png"

#!/usr/bin/env bash
# Another target's frames against this machine's with the pictures people
# have in place of the demo's own, under its name: a PNG, a PNG with
# transparency, a GIF with a transparent colour and a BMP, made from the
# demo's.
# Usage: picture_stills.sh NATIVE_CAPTURE MEDIA IMAGE_FILE "OPTIONS" COMMAND...
#   as same_stills.sh, with IMAGE_FILE the picture's name in MEDIA.
set -u
native=$1 media=$2 image=$3 options=$4
shift 4
here=$(cd "$(dirname "$0")" && pwd)
. "$here/checks.sh"
for kind in $picture_kinds; do
    picture_media "$media" "$image" $kind "$tmp/$kind" || exit 1
    check "the stills with a $kind picture" bash "$here/same_stills.sh" "$native" "$tmp/$kind" "$options" "$@"
done
verdict

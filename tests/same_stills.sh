#!/usr/bin/env bash
# Another target's frames against this machine's: its capture tool's stills
# and the native one's, on the same media with the same seed and rate, byte
# for byte.
# Usage: same_stills.sh NATIVE_CAPTURE MEDIA "OPTIONS" COMMAND...
#   OPTIONS: the capture tool's --seed, --fps and --still; COMMAND: the
#   target's capture tool, behind its emulator where it has one.
set -u
native=$1 media=$2 options=$3
shift 3
[ -x "$native" ] || { echo "no capture tool at $native: build this machine's preset first"; exit 1; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
# shellcheck disable=SC2086 # the options are words
"$native" --media "$media" $options --quiet --out-dir "$tmp/native" || exit 1
# shellcheck disable=SC2086
"$@" --media "$media" $options --quiet --out-dir "$tmp/target" || { echo "the target's capture tool failed"; exit 1; }
failed=0
for f in "$tmp"/native/*.png; do
    cmp "$f" "$tmp/target/${f##*/}" || failed=1
done
exit $failed

#!/usr/bin/env bash
# Runs the built demo under valgrind's memcheck with the default media on the
# dummy drivers, ends it with SIGTERM as a user would, and fails on any
# memory error or definite leak, or when the demo does not end with status 0.
#
#   tests/valgrind.sh BINARY [SECONDS]
#
# SECONDS defaults to 35: the demo's clock is the wall clock, and the image
# shows from 10 s, the fire is seeded from 28 s and from under the image from
# 32.5 s, so a shorter run leaves code unchecked. LD_LIBRARY_PATH chooses the
# SDL 1.2 to run on, as for the demo itself.
set -euo pipefail

if [ $# -lt 1 ] || [ $# -gt 2 ]; then
    echo "usage: $0 BINARY [SECONDS]" >&2
    exit 2
fi
bin=$(realpath "$1")
seconds=${2:-35}
here=$(cd "$(dirname "$0")" && pwd)
command -v valgrind >/dev/null || { echo "$0: valgrind is not installed" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$here/../media/galleri.jpg" "$here/../media/musa.ogg" "$work/"
cd "$work"

# The demo turns SIGTERM into a quit request; valgrind passes it on. A demo
# that does not end within a minute of it is killed, and that fails too.
status=0
SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy \
    timeout --preserve-status -s TERM -k 60 "$seconds" \
    valgrind --tool=memcheck --error-exitcode=99 --leak-check=full \
    --show-leak-kinds=definite --errors-for-leak-kinds=definite --num-callers=40 \
    --log-file="$work/memcheck.log" "$bin" || status=$?

cat "$work/memcheck.log" >&2
case $status in
0) echo "memcheck: clean" >&2 ;;
99) echo "memcheck: errors, see above" >&2 ;;
*) echo "memcheck: the demo ended with status $status" >&2 ;;
esac
exit "$status"

# shellcheck shell=bash
# Sourced by the test scripts that count their own checks: a scratch folder,
# the checks, and the verdict in the line the top test script adds up.
tmp=$(mktemp -d) passed=0 failed=0
# on_exit: what the caller has to clean up besides; jobs are stopped.
trap 'eval "${on_exit:-}"; kill $(jobs -p) 2>/dev/null; rm -rf "$tmp"' EXIT
trap 'exit 1' INT TERM

# check WHAT COMMAND...: runs the command and prints "ok: WHAT" or
# "FAILED: WHAT", with what the command said.
check() {
    local out
    out=$("${@:2}" 2>&1) && { echo "ok: $1${out:+: $out}"; passed=$((passed + 1)); } ||
        { echo "FAILED: $1${out:+: $out}"; failed=$((failed + 1)); }
}
# verdict: the demo's own output after a failure, if it ran, then the
# count, last.
verdict() {
    [ "$failed" -eq 0 ] || tail -n 20 "$tmp/demo.log" 2>/dev/null
    echo "$passed passed, $failed failed"
    [ "$failed" -eq 0 ] || exit 1
}
# is GOT WANT: says what it got when it differs.
is() { [ "$1" = "$2" ] || { echo "$1"; return 1; }; }

# picture_media MEDIA IMAGE KIND DIR: MEDIA copied to DIR with its picture
# IMAGE made a picture of another kind under the same name, near-black made
# transparent where the kind can say so: one of picture_kinds, ImageMagick's
# names for a PNG, a PNG with transparency, a GIF with a transparent colour
# and a BMP.
picture_kinds="PNG24 PNG32 GIF BMP3"
picture_media() {
    mkdir -p "$4" && cp "$1"/* "$4/" &&
        convert "$1/$2" -fuzz 20% -transparent black "$3:$4/$2"
}

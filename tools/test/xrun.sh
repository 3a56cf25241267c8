# Sourced by the checks that play the demo on a virtual X screen of their
# own: the screen, the demo as a process, screenshots, and the verdicts.
tmp=$(mktemp -d) passed=0 failed=0
# on_exit: what the caller has to clean up besides; the screen is a job.
trap 'eval "${on_exit:-}"; kill $(jobs -p) 2>/dev/null; rm -rf "$tmp"' EXIT
trap 'exit 1' INT TERM

# check WHAT COMMAND...: runs the command and prints "ok: WHAT" or
# "FAILED: WHAT", with what the command said.
check() {
    local out
    out=$("${@:2}" 2>&1) && { echo "ok: $1${out:+: $out}"; passed=$((passed + 1)); } ||
        { echo "FAILED: $1${out:+: $out}"; failed=$((failed + 1)); }
}
# verdict: the demo's own output after a failure, then the count, last.
verdict() {
    [ "$failed" -eq 0 ] || tail -n 20 "$tmp/demo.log"
    echo "$passed passed, $failed failed"
    [ "$failed" -eq 0 ] || exit 1
}
# is GOT WANT: says what it got when it differs.
is() { [ "$1" = "$2" ] || { echo "$1"; return 1; }; }

# Without -noreset a start now and then fails to open the display. The
# screen names its display once it takes connections.
Xvfb -displayfd 3 -screen 0 640x480x24 -noreset -nolisten tcp 3>"$tmp/display" 2>/dev/null &
for _ in $(seq 100); do [ -s "$tmp/display" ] && break; sleep 0.1; done
export DISPLAY=:$(cat "$tmp/display")
xdpyinfo >/dev/null 2>&1 || { echo "FAILED: no X server"; exit 1; }

# start DIR COMMAND...: the demo in DIR, in the background; sets pid and t0.
start() {
    (cd "$1" && exec "${@:2}") >>"$tmp/demo.log" 2>&1 </dev/null &
    pid=$! t0=$(date +%s%3N)
}
# finish SECONDS: waits that long at most for the demo to end; sets status.
finish() {
    for _ in $(seq $(($1 * 20))); do kill -0 "$pid" 2>/dev/null && sleep 0.05; done
    local late=
    kill -9 "$pid" 2>/dev/null && late="still running after $1 s"
    wait "$pid" && status=0 || status=${late:-$?}
}
# window: waits for the demo's window, captioned as it; sets wid to its ids.
window() {
    for _ in $(seq 300); do
        wid=$(xdotool search --name '^vaskiloimu$' 2>/dev/null) && return 0
        kill -0 "$pid" 2>/dev/null && sleep 0.05 || return 1
    done
    return 1
}
# shot NAME MODE ARG: a screenshot, judged by the checker.
shot() { import -window root -depth 8 "$tmp/$1.ppm" && "$checker" "$2" "$tmp/$1.ppm" "$3"; }

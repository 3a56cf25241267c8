# Sourced by the checks that play the demo on a virtual X screen of their
# own: the screen, the demo as a process, screenshots, and the verdicts.
# Each check prints "ok: ..." or "FAILED: ..."; see verdict.
tmp=$(mktemp -d)
xvfb=
failed=0
stop_all() {  # the caller may add its own clean-up before this
    [ -z "$xvfb" ] || kill "$xvfb" 2>/dev/null || true
    rm -rf "$tmp"
}
trap stop_all EXIT
trap 'exit 1' INT TERM

# check WHAT COMMAND...: runs the command, shows its output, counts a failure.
check() {
    local what=$1 out
    shift
    if out=$("$@" 2>&1); then echo "ok: $what${out:+: ${out//$'\n'/ }}"; else
        echo "FAILED: $what${out:+: ${out//$'\n'/ }}"
        failed=$((failed + 1))
    fi
}
verdict() { [ "$failed" -eq 0 ] && echo "all passed" || { echo "$failed failed"; exit 1; }; }

# Without -noreset a start now and then fails to open the display.
Xvfb -displayfd 3 -screen 0 640x480x24 -noreset -nolisten tcp 3>"$tmp/display" 2>/dev/null &
xvfb=$!
for _ in $(seq 100); do
    [ -s "$tmp/display" ] && DISPLAY=:$(cat "$tmp/display") xdpyinfo >/dev/null 2>&1 && break
    sleep 0.1
done
export DISPLAY=:$(cat "$tmp/display")
xdpyinfo >/dev/null 2>&1 || { echo "FAILED: no X server"; exit 1; }

# start DIR COMMAND...: the demo in DIR, in the background; sets pid and t0.
start() {
    (cd "$1" && shift && exec "$@") >>"$tmp/demo.log" 2>&1 &
    pid=$!
    t0=$(date +%s%3N)
}
# finish SECONDS: waits that long at most for the demo to end; sets status.
finish() {
    for _ in $(seq $(($1 * 20))); do kill -0 "$pid" 2>/dev/null || break; sleep 0.05; done
    if kill -0 "$pid" 2>/dev/null; then
        kill -9 "$pid"
        wait "$pid" || true
        status="still running after $1 s"
    else
        status=0
        wait "$pid" || status=$?
    fi
}
# is GOT WANT: says what it got when it differs.
is() { [ "$1" = "$2" ] || { echo "$1"; return 1; }; }
# window: waits for a window captioned as the demo; sets wid to its ids.
window() {
    for _ in $(seq 300); do
        wid=$(xdotool search --name '^vaskiloimu$' 2>/dev/null) && return 0
        kill -0 "$pid" 2>/dev/null || return 1
        sleep 0.05
    done
    return 1
}
# shot NAME MODE ARG: a screenshot, judged by check_output.
shot() {
    import -window root -depth 8 "$tmp/$1.ppm" && "$checker" "$2" "$tmp/$1.ppm" "$3"
}

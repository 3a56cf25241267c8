# Sourced by the checks that play the demo on a virtual X screen of their
# own: the checks, the screen, the demo as a process, and screenshots.
. "$(dirname "${BASH_SOURCE[0]}")/checks.sh"

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
# shot MAXPHASE: a screenshot, the pattern at a phase up to MAXPHASE.
# checker: the command that runs check_output.
shot() { import -window root -depth 8 "$tmp/shot.ppm" && "${checker[@]}" pattern "$tmp/shot.ppm" "$1"; }

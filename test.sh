#!/usr/bin/env bash
# Installs what the tests need, builds everything and runs every test: the
# suite on classic SDL 1.2 and again on sdl12-compat, also built with
# sanitizers; a short benchmark run so it cannot rot; the Debian package; the
# web build in headless Chromium; and the Windows build under wine (left out
# with --no-windows: it is what adds the i386 architecture).
#
# A failing step does not stop the others. The last line is "N passed, M
# failed", summed over the steps: a step counts its ctest tests, or the checks
# its script counts in its own last "N passed, M failed" line; a step that
# prints neither is one check, and one that fails without a failure counted
# is one failure.
set -uo pipefail
top=$(cd "$(dirname "$0")" && pwd)
. "$top/tools/deps.sh"
case "${1:-}" in "" | --no-windows) ;; *) echo "usage: $0 [--no-windows]" >&2; exit 2 ;; esac
jobs=$(nproc)

need "${BUILD_DEPS[@]}" libgtest-dev libsdl1.2-compat python3 imagemagick ffmpeg xvfb xdotool x11-utils \
    lintian appstream mandoc groff-base desktop-file-utils || exit 1
compat=/usr/lib/$(gcc -print-multiarch)/sdl12-compat
ct=(--output-on-failure --no-tests=error -j"$jobs")

passed=0 failed=0 log=$(mktemp)
trap 'rm -f "$log"' EXIT

# step TITLE COMMAND...
step() {
    printf '\n=== %s\n' "$1"
    "${@:2}" 2>&1 | tee "$log"
    local rc=${PIPESTATUS[0]} p f
    read -r p f < <(awk '/tests failed out of/ { f = $4; p = $NF - $4 }
        /^[0-9]+ passed, [0-9]+ failed$/ { p = $1; f = $3 } END { print p + 0, f + 0 }' "$log")
    [ "$rc" -eq 0 ] && [ "$p$f" = 00 ] && p=1
    [ "$rc" -ne 0 ] && [ "$f" -eq 0 ] && f=1
    passed=$((passed + p)) failed=$((failed + f))
}

build() {  # build DIR [cmake options...]
    cmake -S "$top" -B "$1" -DVASKILOIMU_TESTS=ON "${@:2}" >/dev/null && cmake --build "$1" -j"$jobs"
}

# with_compat BINARY COMMAND...: COMMAND with sdl12-compat in front, once the
# library the loader picks for BINARY so says it is sdl12-compat (1.2.50 and
# later; classic SDL is 1.2.15): else the runs meant for it would quietly
# test classic SDL again.
with_compat() {
    local lib=$(LD_LIBRARY_PATH=$compat ldd "$1" | awk '$1 == "libSDL-1.2.so.0" { print $3 }')
    python3 -c 'import ctypes as c, sys; v = c.CDLL(sys.argv[1]).SDL_Linked_Version; v.restype = \
        c.POINTER(c.c_ubyte * 3); sys.exit(v().contents[2] < 50)' "$lib" || { echo "$lib is not sdl12-compat"; return 1; }
    LD_LIBRARY_PATH=$compat "${@:2}"
}

demo=$top/build/vaskiloimu
step "Build" build "$top/build"
step "Classic SDL 1.2: every test" ctest --test-dir "$top/build" "${ct[@]}"
# The window test covers both implementations by itself.
step "sdl12-compat: the core tests again" with_compat "$demo" ctest --test-dir "$top/build" "${ct[@]}" -L core
san() { UBSAN_OPTIONS=print_stacktrace=1 LSAN_OPTIONS=suppressions=$top/tests/lsan.supp:print_suppressions=0 "$@"; }
step "AddressSanitizer and UndefinedBehaviorSanitizer: build" build "$top/build-san" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer" \
    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined"
step "Sanitizers: the core tests, classic SDL 1.2" san ctest --test-dir "$top/build-san" "${ct[@]}" -L core
step "Sanitizers: the core tests, sdl12-compat" san with_compat "$top/build-san/vaskiloimu" \
    ctest --test-dir "$top/build-san" "${ct[@]}" -L core
# On X11 the libraries' own leaks cannot be traced, and whole stacks hang
# inside Mesa under sdl12-compat: memory errors only, no leak check.
step "Sanitizers: the window test, both" env UBSAN_OPTIONS=print_stacktrace=1 ASAN_OPTIONS=detect_leaks=0 \
    ctest --test-dir "$top/build-san" "${ct[@]}" -R '^window_'
step "Debian package: install, play from the launcher, remove" bash "$top/tests/package_test.sh" "$top/build"
step "Benchmark, briefly, so it cannot rot (it judges no time)" "$top/build/tools/bench/vaskiloimu-bench" --quick
step "Web build in headless Chromium: frames and sound against native, and the image loader fuzzed" \
    env VASKILOIMU_NATIVE_BUILD="$top/build" bash "$top/web/test.sh"
[ "${1:-}" = --no-windows ] || step "Windows build, and the demo under wine on Xvfb; this adds the i386 architecture \
and Debian's source entries to apt where missing (./test.sh --no-windows leaves it out)" bash "$top/win/test.sh"

printf '\n%d passed, %d failed\n' "$passed" "$failed"
[ "$failed" -eq 0 ]

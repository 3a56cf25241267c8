#!/usr/bin/env bash
# Installs what the tests need, builds everything and runs every test: the
# suite on classic SDL 1.2 and again on sdl12-compat, also built with
# sanitizers; a short benchmark run so it cannot rot; the Debian package; the
# web build in headless Chromium; the Windows build under wine (left out
# with --no-windows: it is what adds the i386 architecture); and the Linux
# cross builds for i386, arm64, armhf and s390x, each with the core tests
# under qemu-user (i386 natively) and its stills against this machine's.
# --arch ARCH (which may be given more than once) runs only that
# architecture's steps, leaving its demo in build-ARCH/.
#
# A failing step does not stop the others. The last line is "N passed, M
# failed", summed over the steps: a step counts its ctest tests, or the checks
# its script counts in its own last "N passed, M failed" line; a step that
# prints neither is one check, and one that fails without a failure counted
# is one failure.
set -uo pipefail
top=$(cd "$(dirname "$0")" && pwd)
. "$top/tools/deps.sh"
all_archs=(i386 arm64 armhf s390x) archs=() windows=1
usage() { echo "usage: $0 [--no-windows] [--arch $(IFS='|'; echo "${all_archs[*]}")]..." >&2; exit 2; }
while [ $# -gt 0 ]; do
    case $1 in
        --no-windows) windows= ;;
        --arch) [[ " ${all_archs[*]} " == *" ${2:-none} "* ]] || usage; archs+=("$2"); shift ;;
        *) usage ;;
    esac
    shift
done
jobs=$(nproc)

need "${BUILD_DEPS[@]}" libgtest-dev qemu-user-static || exit 1
[ ${#archs[@]} -gt 0 ] || need libsdl1.2-compat python3 imagemagick ffmpeg xvfb xdotool x11-utils \
    lintian appstream mandoc groff-base desktop-file-utils || exit 1
compat=/usr/lib/$(gcc -print-multiarch)/sdl12-compat
ct=(--output-on-failure --no-tests=error -j"$jobs")

passed=0 failed=0 log=$(mktemp) tmp=$(mktemp -d)
trap 'rm -rf "$log" "$tmp"' EXIT

# step TITLE COMMAND...
step() {
    printf '\n=== %s\n' "$1"
    local t0=$SECONDS
    "${@:2}" 2>&1 | tee "$log"
    local rc=${PIPESTATUS[0]} p f
    echo "($((SECONDS - t0)) s)"
    read -r p f < <(awk '/tests failed out of/ { f = $4; p = $NF - $4 }
        /^[0-9]+ passed, [0-9]+ failed$/ { p = $1; f = $3 } END { print p + 0, f + 0 }' "$log")
    [ "$rc" -eq 0 ] && [ "$p$f" = 00 ] && p=1
    [ "$rc" -ne 0 ] && [ "$f" -eq 0 ] && f=1
    passed=$((passed + p)) failed=$((failed + f))
}

build() {  # [target=TARGET] build DIR [cmake options...]
    cmake -S "$top" -B "$1" -DVASKILOIMU_TESTS=ON "${@:2}" >/dev/null &&
        cmake --build "$1" -j"$jobs" ${target:+--target "$target"}
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

# cross_build ARCH: the libraries for ARCH, built once from Debian's
# sources, and the demo and its tests against them in build-ARCH.
cross_build() {
    local prefix dir=$top/build-$1
    prefix=$("$top/ports/deps.sh" "$1") || return 1
    # Built anew against other libraries: cmake keeps what it found in the old ones.
    grep -qs "^CMAKE_PREFIX_PATH:[A-Z]*=$prefix\$" "$dir/CMakeCache.txt" || rm -rf "$dir"
    build "$dir" -DCMAKE_TOOLCHAIN_FILE="$top/cmake/$1.cmake" -DCMAKE_PREFIX_PATH="$prefix"
}

# same_stills ARCH: the scripted clock's frames drawn by ARCH's build equal
# this machine's byte for byte: before the picture, in its fade, the
# swinging seeds hot and cool, the seeds at the edges, after the speed-up,
# the cut and the last frame.
stills=5000,12000,29000,30500,36000,45000,60000,75000 seed=20240611 fps=20
same_stills() {
    local p=0 f=0 t name
    stills_of() { "$@" --media "$top/media" --seed $seed --fps $fps --still $stills --out-dir "$out" >/dev/null; }
    [ -d "$tmp/x86-64" ] || out=$tmp/x86-64 stills_of "$top/build/tools/vaskiloimu-stills" ||
        { echo "no stills from this machine's build"; return 1; }
    eval "$(cmake -DTARGET="$1" -P "$top/cmake/shell.cmake")"
    # shellcheck disable=SC2086 # the emulator is a command line
    out=$tmp/$1 stills_of $target_emulator "$top/build-$1/tools/vaskiloimu-stills" || echo "the stills tool failed"
    for t in ${stills//,/ }; do
        name=still-$(printf %05d "$t").bmp
        if cmp "$tmp/x86-64/$name" "$tmp/$1/$name"; then p=$((p + 1)); else echo "FAILED: $name differs"; f=$((f + 1)); fi
    done
    echo "$p passed, $f failed"
}

demo=$top/build/vaskiloimu
# Everything this machine runs itself.
native() {
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
    [ -z "$windows" ] || step "Windows build, and the demo under wine on Xvfb; this adds the i386 \
architecture where missing (./test.sh --no-windows leaves it out)" \
        env VASKILOIMU_NATIVE_BUILD="$top/build" bash "$top/win/test.sh"
}

if [ ${#archs[@]} -eq 0 ]; then
    native
    archs=("${all_archs[@]}")
else
    # What the architectures' stills are compared with.
    stills_tool() { target=vaskiloimu-stills build "$top/build"; }
    step "This machine's stills tool" stills_tool
fi

for a in "${archs[@]}"; do
    step "$a: the libraries, the demo and its tests, cross-built" cross_build "$a"
    step "$a: the core tests $([ "$a" = i386 ] && echo natively || echo under qemu-user)" \
        ctest --test-dir "$top/build-$a" "${ct[@]}" -L core
    step "$a: stills against this machine's" same_stills "$a"
done

printf '\n%d passed, %d failed\n' "$passed" "$failed"
[ "$failed" -eq 0 ]

#!/usr/bin/env bash
# Installs what the tests need, builds everything and runs every test: the
# whole suite on classic SDL 1.2 and again on sdl12-compat, the suite built
# with sanitizers, the portable build without SIMD, a short benchmark run so
# it cannot rot, the Debian package, and the Windows build under wine.
set -euo pipefail
top=$(cd "$(dirname "$0")" && pwd)
. "$top/tools/deps.sh"
jobs=$(nproc)
compat=/usr/lib/x86_64-linux-gnu/sdl12-compat

need "${BUILD_DEPS[@]}" googletest libgtest-dev python3 ffmpeg imagemagick sox libsox-fmt-base \
    libsox-fmt-mp3 xvfb xdotool x11-utils x11-apps libsdl1.2-compat desktop-file-utils valgrind

step() { printf '\n=== %s\n' "$*"; }

build() {  # build DIR [cmake options...]
    local dir=$1
    shift
    cmake -S "$top" -B "$dir" -DVASKILOIMU_TESTS=ON "$@" >/dev/null
    cmake --build "$dir" -j"$jobs"
}

step "Classic SDL 1.2: build and every test"
build "$top/build"
(cd "$top/build" && ctest --output-on-failure -j"$jobs")

step "sdl12-compat: every test again (the window test covers both by itself)"
(cd "$top/build" && LD_LIBRARY_PATH=$compat ctest --output-on-failure -j"$jobs" -E '^window_')

step "AddressSanitizer and UndefinedBehaviorSanitizer: every test, on both SDL implementations"
build "$top/build-san" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer" \
    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined"
(
    cd "$top/build-san"
    export UBSAN_OPTIONS=print_stacktrace=1
    # Whole stacks, so the one suppression (a surface sdl12-compat keeps after
    # SDL_Quit) can match inside libraries built without frame pointers.
    lsan="suppressions=$top/tests/lsan.supp:print_suppressions=0:fast_unwind_on_malloc=0"
    LSAN_OPTIONS=$lsan ctest --output-on-failure -j"$jobs" -E '^window_'
    LSAN_OPTIONS=$lsan LD_LIBRARY_PATH=$compat ctest --output-on-failure -j"$jobs" -E '^window_'
    # On X11 the libraries' own leaks cannot be traced, and whole stacks hang
    # inside Mesa under sdl12-compat: memory errors only, no leak check.
    env -u LSAN_OPTIONS ASAN_OPTIONS=detect_leaks=0 ctest --output-on-failure -R '^window_'
)

step "valgrind memcheck on a run with the default media, on both SDL implementations"
bash "$top/tests/valgrind.sh" "$top/build/vaskiloimu"
LD_LIBRARY_PATH=$compat bash "$top/tests/valgrind.sh" "$top/build/vaskiloimu"

step "Debian package: install, play from the launcher, remove"
bash "$top/tests/package_test.sh" "$top/build"

step "Portable build without vector code: the effects' tests"
build "$top/build-portable" -DVASKILOIMU_PORTABLE=ON
(cd "$top/build-portable" && ctest --output-on-failure -j"$jobs" -R 'Background|Fire|AllPaths|Timeline|Layout')

step "Benchmark, briefly, so it cannot rot (it judges no time)"
"$top/build/tools/bench/vaskiloimu-bench" --quick

step "32-bit Windows build, and the demo under wine on Xvfb"
bash "$top/win/test.sh"

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

need "${BUILD_DEPS[@]}" googletest libgtest-dev python3 ffmpeg imagemagick sox \
    xvfb xdotool x11-utils x11-apps libsdl1.2-compat desktop-file-utils valgrind

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

step "Debian package: install, play from the launcher, remove"
bash "$top/tests/package_test.sh" "$top/build"

step "Portable build without vector code: the effects' tests"
build "$top/build-portable" -DVASKILOIMU_PORTABLE=ON
(cd "$top/build-portable" && ctest --output-on-failure -j"$jobs" -R 'Background|Fire|AllPaths|Timeline|Layout')

step "Benchmark, briefly, so it cannot rot (it judges no time)"
"$top/build/tools/bench/vaskiloimu-bench" --quick

step "32-bit Windows build, and the demo under wine on Xvfb"
bash "$top/win/test.sh"

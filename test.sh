#!/usr/bin/env bash
# Installs what the tests need, builds everything and runs every test.
set -euo pipefail
top=$(cd "$(dirname "$0")" && pwd)
. "$top/tools/deps.sh"

need "${BUILD_DEPS[@]}" googletest libgtest-dev
cmake -S "$top" -B "$top/build" -DVASKILOIMU_TESTS=ON >/dev/null
cmake --build "$top/build" -j"$(nproc)"
cd "$top/build"
ctest --output-on-failure -j"$(nproc)"

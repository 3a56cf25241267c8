#!/usr/bin/env bash
# Installs what the tests need, builds, and runs them, by the workflow
# presets of CMakePresets.json:
#   ./test.sh             every test of this machine's build but the slow
#                         extras: the core tests on classic SDL 1.2 and on
#                         sdl12-compat, the whole demo in real time, the
#                         real window on both (the linux workflow)
#   ./test.sh --all       those and the extras (captures through ffmpeg,
#                         the Debian package), the sanitizers, the page in
#                         Chromium, Firefox and WebKit and on a phone,
#                         Windows under wine, the other CPUs:
#                         i386, arm64, armhf, s390x, this machine's build as
#                         an arm64 machine makes it, the release's package
#                         and zips built twice, the same, and last the
#                         benchmarks, briefly, whose figures count as no
#                         test
#   ./test.sh --arch ARCH that CPU alone (may be given more than once),
#                         leaving its demo in build-ARCH/
# A failing step does not stop the others. The last line is "N passed, M
# failed", summed over the steps' tests; the tests that could not run on
# this machine and said so (ctest's "Skipped") are named before it.
set -uo pipefail
top=$(cd "$(dirname "$0")" && pwd)
. "$top/tools/packages.sh"
usage() { echo "usage: $0 [--all | --arch i386|arm64|armhf|s390x ...]" >&2; exit 2; }
presets=(linux)
while [ $# -gt 0 ]; do
    case $1 in
        --all) presets=(linux-all san web win32 i386 arm64 armhf s390x linux-arm64 release bench) ;;
        --arch) [[ " i386 arm64 armhf s390x " == *" ${2:-none} "* ]] || usage; presets+=("$2"); shift ;;
        *) usage ;;
    esac
    shift
done
# --arch alone: of this machine's build only its capture tool, for the stills.
[ "${presets[0]}" = linux ] && [ ${#presets[@]} -gt 1 ] && presets[0]=build
export CTEST_PARALLEL_LEVEL=${CTEST_PARALLEL_LEVEL:-$(nproc)}

# shellcheck disable=SC2046 # the names are words
need $(packages "${presets[@]}") || exit 1
passed=0 failed=0 skipped=() log=$(mktemp)
trap 'rm -f "$log"' EXIT

# step TITLE COMMAND...: runs the command, adding up the tests ctest counts
# in its output, or the checks a script counts in its last line, "N passed,
# M failed"; a step that fails without a failed test counts as one.
step() {
    printf '\n=== %s\n' "$1"
    local t0=$SECONDS p=0 f=0
    "${@:2}" 2>&1 | tee "$log"
    local rc=${PIPESTATUS[0]}
    echo "($((SECONDS - t0)) s)"
    read -r p f < <(awk '/tests failed out of/ { c = 1; f += $4; p += $NF - $4 } /\(Skipped\)$/ { p-- }
        /^[0-9]+ passed, [0-9]+ failed$/ { sp = $1; sf = $3 }
        END { if (!c) { p = sp; f = sf } print p + 0, f + 0 }' "$log")
    mapfile -t -O ${#skipped[@]} skipped < <(sed -n 's/^[[:space:]]*[0-9]* - \(.*\) (Skipped)$/\1/p' "$log")
    [ "$rc" -ne 0 ] && [ "$f" -eq 0 ] && f=1
    passed=$((passed + p)) failed=$((failed + f))
}

for p in "${presets[@]}"; do
    if [ "$p" = build ]; then
        step "This machine's capture tool, which the other CPUs' stills are compared with" \
            bash -c "cmake --preset linux -DVASKILOIMU_TESTS=OFF >/dev/null &&
                cmake --build --preset linux --target vaskiloimu-capture"
    elif [ "$p" = release ]; then
        step "The release's package and zips built twice, the same bytes" bash "$top/tests/reproducible_test.sh"
    elif [ "$p" = bench ]; then
        step "The benchmarks, a few seconds each: figures, no verdict" bash -c "cd '$top/media' &&
            '$top/build/vaskiloimu-bench' --quick && node '$top/tools/dev/page_bench.js' '$top/build-web/timed' 6 3"
    else
        step "$p: $(cmake --list-presets=workflow 2>/dev/null | sed -n "s/^ *\"$p\" *- //p")" cmake --workflow --preset "$p"
    fi
done

[ ${#skipped[@]} -eq 0 ] || printf '\nskipped, as they said why above: %s' "${skipped[*]}"
printf '\n%d passed, %d failed\n' "$passed" "$failed"
[ "$failed" -eq 0 ]

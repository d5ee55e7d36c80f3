#!/usr/bin/env bash
# Builds Reelwick and runs every test twice: a normal build, then one with AddressSanitizer and
# UndefinedBehaviorSanitizer. `--quick` runs the normal build only.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/deps.sh"

quick=0
[ "${1:-}" = "--quick" ] && quick=1
jobs="$(nproc)"

run_suite() {
    local dir="$1"; shift
    echo "== $(basename "$dir"): configure and build"
    cmake -S "$root" -B "$dir" -G Ninja -DREELWICK_TESTS=ON "$@" >/dev/null
    cmake --build "$dir" -j "$jobs"
    echo "== $(basename "$dir"): test"
    (cd "$dir" && ctest --output-on-failure -j "$jobs" --timeout 600)
}

run_suite "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DREELWICK_BENCH=ON
if [ "$quick" -eq 0 ]; then
    # Leaks in Qt's own start-up are not ours; everything else the sanitizers find fails the run.
    export ASAN_OPTIONS="detect_leaks=0:abort_on_error=1"
    export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
    run_suite "$root/build-asan" -DCMAKE_BUILD_TYPE=Debug -DREELWICK_SANITIZE=ON
fi

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

# Line tables only (-g1): stack traces keep their files and lines, and compiling and linking the
# several hundred test programs takes about a fifth less time than with full debug information.
run_suite "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DREELWICK_BENCH=ON \
    "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG"
if [ "$quick" -eq 0 ]; then
    # Every leak fails the run except those inside the libraries listed in lsan.supp (Qt, fonts,
    # sound), whose caches live until exit by design. A suppression matches any frame of the
    # allocation's stack, and almost everything runs beneath Qt's event loop: only the six
    # innermost frames are kept, so a library is blamed only for what it allocated itself.
    export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:malloc_context_size=6"
    export LSAN_OPTIONS="suppressions=$root/scripts/lsan.supp:print_suppressions=0"
    export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
    run_suite "$root/build-asan" -DCMAKE_BUILD_TYPE=Debug -DREELWICK_SANITIZE=ON "-DCMAKE_CXX_FLAGS_DEBUG=-g1"
fi

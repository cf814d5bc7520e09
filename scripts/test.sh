#!/usr/bin/env bash
# Installs what is missing, builds Velmora and runs the whole test suite twice:
# once as shipped, once built with AddressSanitizer and UndefinedBehaviorSanitizer,
# where any report (leaks included) fails the run. The ThreadSanitizer run of
# the line's tests is scripts/tsan.sh, outside this command.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/deps.sh" test

jobs="$(nproc 2>/dev/null || echo 2)"
export QT_QPA_PLATFORM=offscreen

# A compiler cache, where the machine has one, makes a second clone's build
# quick; paths below the clone are hashed relative to it.
launcher=()
if command -v ccache >/dev/null 2>&1; then
    export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$root}"
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

run_suite() {
    local build="$1"
    shift
    cmake -S "$root" -B "$build" "${launcher[@]}" "$@" >/dev/null
    cmake --build "$build" --parallel "$jobs"
    (cd "$build" && ctest --output-on-failure --parallel "$jobs")
}

echo "== Release build"
run_suite "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo

echo "== Sanitizer build"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$root/tests/sanitizers/lsan.supp:print_suppressions=0"
run_suite "$root/build-sanitize" -DCMAKE_BUILD_TYPE=Debug -DVELMORA_SANITIZE=ON


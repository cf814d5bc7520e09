#!/usr/bin/env bash
# Builds the tests of the line's thread with ThreadSanitizer and runs them.
# By hand, not part of the test command: Qt 5 is not built with
# ThreadSanitizer, so the hand-over of a queued call's arguments from one
# thread to the other happens under Qt's own futex-based locks, which it
# cannot see. Most runs are clean; now and then it reports the copy of a
# queued call's data on one thread and its use on the other as a race.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/deps.sh" test

jobs="$(nproc 2>/dev/null || echo 2)"
export QT_QPA_PLATFORM=offscreen
# What Qt and GLib do themselves is not checked; their pthread and eventfd
# calls still order the project's own accesses, which are.
export TSAN_OPTIONS="halt_on_error=1:ignore_noninstrumented_modules=1"
tsan_tests=(tst_pollreadings tst_serialconnection tst_pollcycle tst_busscan tst_hostileline tst_portloss
            tst_linethread tst_linerecovery)
tsan_pattern="^($(IFS='|'; echo "${tsan_tests[*]}"))\$"
cmake -S "$root" -B "$root/build-tsan" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_TSAN=ON >/dev/null
cmake --build "$root/build-tsan" --parallel "$jobs" --target "${tsan_tests[@]}"
(cd "$root/build-tsan" && ctest --output-on-failure --parallel "$jobs" -R "$tsan_pattern")

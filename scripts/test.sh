#!/usr/bin/env bash
# Installs what is missing, builds Velmora and runs the whole test suite.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/deps.sh"

build="$root/build"
jobs="$(nproc 2>/dev/null || echo 2)"

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --parallel "$jobs"

export QT_QPA_PLATFORM=offscreen
cd "$build"
ctest --output-on-failure --parallel "$jobs"

#!/usr/bin/env bash
# Runs the demo under a virtual display with CJK fonts and saves a picture of
# the window with red, green and yellow tiles, plus the CSV files recorded
# meanwhile, and a picture of device 4's trend window after it filled for a
# minute and a half.
# Usage: screenshot.sh [picture, default docs/screenshot.png] [trend picture, default docs/trend.png]
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
output="$(realpath -m "${1:-$root/docs/screenshot.png}")"
trend_output="$(realpath -m "${2:-$root/docs/trend.png}")"

"$root/scripts/deps.sh" run display
build="$root/build"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --parallel "$(nproc 2>/dev/null || echo 2)" --target velmora-sim velmora-democapture

work="$(mktemp -d)"
pids=()
cleanup() {
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT INT TERM

display=":$((90 + RANDOM % 100))"
Xvfb "$display" -screen 0 1440x800x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 50); do
    [ -e "/tmp/.X11-unix/X${display#:}" ] && break
    sleep 0.1
done

# The path the README tells the operator to type.
bus=/tmp/velmora-bus
"$root/scripts/demobus.sh" "$build/sim/velmora-sim" "$bus" >/dev/null &
pids+=($!)
for _ in $(seq 50); do
    [ -e "$bus" ] && break
    sleep 0.1
done

mkdir -p "$work/records" "$(dirname "$output")" "$(dirname "$trend_output")"
DISPLAY="$display" QT_QPA_PLATFORM=xcb QT_LOGGING_RULES="default.debug=false" \
    "$build/scripts/democapture/velmora-democapture" --port "$bus" --record-dir "$work/records" --output "$output" \
    --trend-output "$trend_output" --trend-device 4 \
    --list "$root/docs/demo-bus.json"

echo "picture: $output"
echo "trend picture: $trend_output"
for file in "$work"/records/*.csv; do
    echo "== $(basename "$file")"
    head -n 4 "$file"
done

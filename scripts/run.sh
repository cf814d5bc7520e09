#!/usr/bin/env bash
# Installs what is missing, builds Velmora and starts it beside a simulated
# demo bus on the virtual port /tmp/velmora-bus. With --no-demo, only Velmora
# starts (for a real RS-485 adapter).
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
demo=1
[ "${1:-}" = "--no-demo" ] && demo=0

"$root/scripts/deps.sh" run
build="$root/build"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --parallel "$(nproc 2>/dev/null || echo 2)" --target velmora velmora-sim

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display found: Velmora is a desktop program and needs a screen."
    echo "It can run under a virtual display instead and save a screenshot of the demo:"
    echo "    bash scripts/screenshot.sh"
    if [ -t 0 ]; then
        read -r -p "Do that now? [y/N] " answer
        case "$answer" in
            [yY]*) exec bash "$root/scripts/screenshot.sh" ;;
        esac
    fi
    exit 1
fi

if [ "$demo" -eq 0 ]; then
    exec "$build/app/velmora"
fi

link=/tmp/velmora-bus
sim_pid=""
stop_sim() {
    if [ -n "$sim_pid" ]; then
        kill "$sim_pid" 2>/dev/null || true
        wait "$sim_pid" 2>/dev/null || true
    fi
}
trap stop_sim EXIT INT TERM

"$root/scripts/demobus.sh" "$build/sim/velmora-sim" "$link" >/dev/null &
sim_pid=$!
for _ in $(seq 50); do
    [ -e "$link" ] && break
    sleep 0.1
done

cat <<HELP
Demo bus running on $link (transmitters 1 to 4 and 6; 4 is flaky; 5 does not
answer; 6 is read with the register map int16-dec-unit).
In Velmora: press Ctrl+O and open $root/docs/demo-bus.json (the port, the six
devices and the map), click 打开串口, then 开始, and choose a folder for the CSV files.
Closing Velmora stops the demo bus.
HELP
"$build/app/velmora"

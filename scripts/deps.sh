#!/usr/bin/env bash
# Installs the Debian packages a command of Velmora's needs, and only those.
# Usage: deps.sh [run] [display] [test] [extra-package ...]
#   run      building and running the program and its demo bus
#   display  a virtual display, for machines without a screen
#   test     the test suite and the package check, in addition to run
# Quick and silent when everything is already present.
set -euo pipefail

run_packages=(
    g++ make cmake pkg-config
    qtbase5-dev libqt5serialport5-dev libqt5charts5-dev libmodbus-dev
    libmosquitto-dev fonts-noto-cjk
)
display_packages=(xvfb xauth)
# The tests start their own broker on a free port; the rest check the package.
test_packages=(
    mosquitto mosquitto-clients openssl poppler-utils
    lintian appstream help2man dpkg-dev desktop-file-utils
)

if [ "${1:-}" = "--list" ]; then
    case "${2:-}" in
        run) printf '%s\n' "${run_packages[@]}" ;;
        display) printf '%s\n' "${display_packages[@]}" ;;
        test) printf '%s\n' "${test_packages[@]}" ;;
        *) echo "deps.sh --list run|display|test" >&2; exit 2 ;;
    esac
    exit 0
fi

packages=()
for word in "$@"; do
    case "$word" in
        run) packages+=("${run_packages[@]}") ;;
        display) packages+=("${display_packages[@]}") ;;
        test) packages+=("${run_packages[@]}" "${test_packages[@]}") ;;
        *) packages+=("$word") ;;
    esac
done
[ ${#packages[@]} -eq 0 ] && packages=("${run_packages[@]}")

installed() {
    dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

missing=()
for pkg in "${packages[@]}"; do
    installed "$pkg" || missing+=("$pkg")
done

[ ${#missing[@]} -eq 0 ] && exit 0

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
    sudo_cmd=(sudo)
fi

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -q
"${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"

# Debian starts the broker as a system service listening on port 1883 and
# enables it at every boot. The tests need none of that (they run a broker of
# their own on a free port), so a broker this script brought in is disabled,
# and stopped if it was started.
if printf '%s\n' "${missing[@]}" | grep -qx mosquitto; then
    was_running=0
    pgrep -x mosquitto >/dev/null 2>&1 && was_running=1
    if command -v systemctl >/dev/null 2>&1 && systemctl is-system-running >/dev/null 2>&1; then
        "${sudo_cmd[@]}" systemctl disable --now mosquitto >/dev/null 2>&1 || true
    else
        "${sudo_cmd[@]}" update-rc.d mosquitto disable >/dev/null 2>&1 || true
        "${sudo_cmd[@]}" service mosquitto stop >/dev/null 2>&1 || true
    fi
    if [ "$was_running" -eq 1 ]; then
        echo "Stopped and disabled the mosquitto system service the package started;" \
             "the tests run a broker of their own."
    fi
fi

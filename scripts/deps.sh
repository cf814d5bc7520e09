#!/usr/bin/env bash
# Installs the Debian packages Velmora needs to build, test and run.
# Quick and silent when everything is already present.
set -euo pipefail

# With arguments, those packages are wanted in addition.
packages=(
    build-essential cmake pkg-config
    qtbase5-dev libqt5serialport5-dev libqt5charts5-dev libmodbus-dev
    libmosquitto-dev mosquitto mosquitto-clients openssl
    xvfb xauth fonts-noto-cjk desktop-file-utils dpkg-dev
    lintian appstream help2man
    "$@"
)

missing=()
for pkg in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$pkg")
    fi
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

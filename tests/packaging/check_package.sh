#!/usr/bin/env bash
# Validates the desktop entry, builds the Debian package and checks what it
# holds and what it depends on.
set -uo pipefail

source_dir="$1"
binary_dir="$2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

passed=0
failed=0
check() {
    if eval "$2"; then
        passed=$((passed + 1))
    else
        echo "FAIL: $1"
        failed=$((failed + 1))
    fi
}

check "desktop entry validates" "desktop-file-validate '$source_dir/app/velmora.desktop'"

if cpack --config "$binary_dir/CPackConfig.cmake" -G DEB -B "$work" >"$work/cpack.log" 2>&1; then
    deb="$(ls "$work"/velmora_*.deb 2>/dev/null | head -n1)"
else
    cat "$work/cpack.log"
    deb=""
fi
check "package builds" "[ -n '$deb' ]"

if [ -n "$deb" ]; then
    contents="$(dpkg-deb -c "$deb" | awk '{print $NF}')"
    depends="$(dpkg-deb -f "$deb" Depends)"
    for file in ./usr/bin/velmora ./usr/bin/velmora-sim ./usr/share/applications/velmora.desktop \
                ./usr/share/icons/hicolor/scalable/apps/velmora.svg; do
        check "package holds $file" "grep -qx '$file' <<<\"\$contents\""
    done
    for package in libqt5core5a libqt5gui5 libqt5widgets5 libqt5serialport5 libqt5charts5 libmodbus5; do
        check "package depends on $package" "grep -q '\\b$package\\b' <<<\"\$depends\""
    done
    check "package name and architecture" "[ \"\$(dpkg-deb -f '$deb' Package)\" = velmora ] && [ \"\$(dpkg-deb -f '$deb' Architecture)\" = \"\$(dpkg --print-architecture)\" ]"
    check "no test programs in the package" "! grep -q 'tst_' <<<\"\$contents\""
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]

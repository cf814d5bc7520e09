#!/usr/bin/env bash
# Validates the desktop entry, builds the Debian package, checks what it holds
# and what it depends on, and has lintian and appstreamcli judge it: any error
# or warning of theirs fails.
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
                ./usr/share/icons/hicolor/scalable/apps/velmora.svg \
                ./usr/share/man/man1/velmora.1.gz ./usr/share/man/man1/velmora-sim.1.gz \
                ./usr/share/doc/velmora/copyright ./usr/share/doc/velmora/changelog.gz \
                ./usr/share/metainfo/org.example.velmora.metainfo.xml; do
        check "package holds $file" "grep -qx '$file' <<<\"\$contents\""
    done
    for package in libqt5core5a libqt5gui5 libqt5widgets5 libqt5serialport5 libqt5charts5 libmodbus5 libmosquitto1; do
        check "package depends on $package" "grep -q '\\b$package\\b' <<<\"\$depends\""
    done
    check "package name and architecture" "[ \"\$(dpkg-deb -f '$deb' Package)\" = velmora ] && [ \"\$(dpkg-deb -f '$deb' Architecture)\" = \"\$(dpkg --print-architecture)\" ]"
    check "no test programs in the package" "! grep -q 'tst_' <<<\"\$contents\""

    # Without --no-cfg a local lintianrc could hide tags.
    echo "== lintian"
    lintian --no-cfg --allow-root --fail-on error,warning --display-level '>=pedantic' "$deb" >"$work/lintian.log" 2>&1
    lintian_status=$?
    cat "$work/lintian.log"
    check "lintian reports no error and no warning" "[ $lintian_status -eq 0 ] && ! grep -q '^[EW]: ' '$work/lintian.log'"

    # validate-tree also checks that the metainfo's launchable names the
    # desktop entry the package installs.
    echo "== appstreamcli"
    dpkg-deb -x "$deb" "$work/root"
    appstreamcli validate-tree --no-net "$work/root" >"$work/appstream.log" 2>&1
    appstream_status=$?
    cat "$work/appstream.log"
    check "appstreamcli validates the package tree" "[ $appstream_status -eq 0 ]"

    # The simulator's page is generated from its --help: every option printed
    # there has to be documented.
    page="$(zcat "$work/root/usr/share/man/man1/velmora-sim.1.gz")"
    options="$("$binary_dir/sim/velmora-sim" --help | grep -o '^ *\(-h, \)\?--[a-z-]*' | grep -o -- '--[a-z-]*')"
    check "velmora-sim --help lists options" "[ -n \"\$options\" ]"
    for option in $options; do
        roff="$(sed 's/-/\\-/g' <<<"$option")"
        check "velmora-sim(1) documents $option" "grep -qF -- \"\$roff\" <<<\"\$page\""
    done
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]

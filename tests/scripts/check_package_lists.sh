#!/usr/bin/env bash
# The command that runs Velmora installs what building and running it need,
# and nothing the tests or the package check need: no broker that would run
# as a system service, no packaging tools.
set -uo pipefail

root="$1"
deps="$root/scripts/deps.sh"
failed=0
fail() { echo "FAIL: $*"; failed=1; }

run_list="$(bash "$deps" --list run)" || fail "deps.sh --list run"
test_list="$(bash "$deps" --list test)" || fail "deps.sh --list test"

# Packages only the tests and the package check want; build-essential is
# here because it brings dpkg-dev with it.
test_only=(mosquitto mosquitto-clients openssl poppler-utils lintian appstream
           help2man dpkg-dev desktop-file-utils build-essential xvfb xauth)
for pkg in "${test_only[@]}"; do
    grep -qx "$pkg" <<<"$run_list" && fail "the run list holds the test-only package $pkg"
done
for pkg in mosquitto mosquitto-clients openssl poppler-utils lintian appstream help2man dpkg-dev; do
    grep -qx "$pkg" <<<"$test_list" || fail "the test list lacks $pkg"
done

# Each command asks for its own list, and the run command nothing more.
grep -qE '^"\$root/scripts/deps.sh" run$' "$root/scripts/run.sh" \
    || fail "scripts/run.sh does not install the run list alone"
grep -qE '^"\$root/scripts/deps.sh" test$' "$root/scripts/test.sh" \
    || fail "scripts/test.sh does not install the test list"

[ "$failed" -eq 0 ] && echo "package lists: run $(wc -l <<<"$run_list") packages, test $(wc -l <<<"$test_list") more"
exit "$failed"

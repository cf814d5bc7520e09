#!/usr/bin/env bash
# Static analysis of the project's own code: clang-tidy (bugprone, performance),
# clazy (Qt idioms) and cppcheck. Exits non-zero on any finding.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/deps.sh" run clang-tidy clazy cppcheck

build="$root/build-lint"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
# The generated moc and uic sources must exist before the analysers read them.
cmake --build "$build" --parallel "$(nproc 2>/dev/null || echo 2)" >/dev/null

mapfile -t sources < <(cd "$root" && git ls-files '*.cpp' | grep -E '^(app|devices|acquisition|modbusframe|hostport|recording|tiles|publishing|sim|bench|tests)/')
status=0

echo "== clang-tidy"
(cd "$root" && clang-tidy -p "$build" --quiet "${sources[@]}") || status=1

echo "== clazy"
# The form connects the buttons to their slots by name: those names are required.
(cd "$root" && CLAZY_CHECKS="level1,no-connect-by-name" \
    clazy-standalone -p "$build/compile_commands.json" \
    --header-filter='/(app|devices|acquisition|modbusframe|hostport|recording|tiles|publishing|sim|bench|tests)/' "${sources[@]}" 2>&1 \
    | tee "$build/clazy.log") || status=1
grep -q 'warning:' "$build/clazy.log" && status=1

echo "== cppcheck"
(cd "$root" && cppcheck --quiet --error-exitcode=1 --inline-suppr \
    --enable=warning,performance,portability --library=qt --std=c++17 \
    --suppress=missingIncludeSystem -I "$root" \
    -D'Q_COREAPP_STARTUP_FUNCTION(f)=' "${sources[@]}") || status=1

if [ "$status" -eq 0 ]; then
    echo "static analysis: clean"
fi
exit "$status"

#!/usr/bin/env bash
# Keeps the floors real: a product folder may include headers of the folders
# below it only, never of one above, and the include graph between folders
# has no cycle. The floors are the product folders in the order the
# top-level CMakeLists.txt adds them. Headers are included by bare name, so
# each name is looked up in the folder that holds it.
#
#   check_floors.sh [--graph] [source root]
#
# With --graph it prints every arrow between folders with its count of
# #include lines, and still fails on a fault.
set -euo pipefail

graph=false
if [[ ${1:-} == --graph ]]; then
    graph=true
    shift
fi
root=${1:-$(cd "$(dirname "$0")/../.." && pwd)}
cd "$root"

mapfile -t floors < <(sed -n 's/^add_subdirectory(\([a-z]*\))$/\1/p' CMakeLists.txt |
    sed '/^app$/q')
if [[ ${#floors[@]} -lt 2 || ${floors[-1]} != app ]]; then
    echo "check_floors: cannot read the floor order from CMakeLists.txt" >&2
    exit 2
fi

declare -A rank home
for i in "${!floors[@]}"; do
    rank[${floors[$i]}]=$i
done
for folder in "${floors[@]}"; do
    for header in "$folder"/*.h; do
        [[ -e $header ]] || continue
        name=${header##*/}
        if [[ -n ${home[$name]:-} ]]; then
            echo "check_floors: $name is in both ${home[$name]}/ and $folder/" >&2
            exit 1
        fi
        home[$name]=$folder
    done
done

faults=0
declare -A arrows
for folder in "${floors[@]}"; do
    for file in "$folder"/*.h "$folder"/*.cpp; do
        [[ -e $file ]] || continue
        while IFS= read -r included; do
            if [[ $included == ui_mainwindow.h && $folder != app ]]; then
                echo "$file includes the window's form, which only app/ may" >&2
                faults=$((faults + 1))
                continue
            fi
            target=${home[$included]:-}
            [[ -n $target && $target != "$folder" ]] || continue
            arrows["$folder $target"]=$((${arrows["$folder $target"]:-0} + 1))
            if ((rank[$target] > rank[$folder])); then
                echo "$file includes $target/$included, a floor above $folder/" >&2
                faults=$((faults + 1))
            fi
        done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file")
    done
done

# A cycle shows as a folder reached again while it is still being walked.
declare -A state
cycle=""
walk() {
    local from=$1 arrow
    state[$from]=walking
    for arrow in "${!arrows[@]}"; do
        [[ ${arrow%% *} == "$from" ]] || continue
        local to=${arrow#* }
        if [[ ${state[$to]:-} == walking ]]; then
            cycle="$from -> $to"
        elif [[ -z ${state[$to]:-} ]]; then
            walk "$to"
        fi
    done
    state[$from]=done
}
for folder in "${floors[@]}"; do
    [[ -n ${state[$folder]:-} ]] || walk "$folder"
done
if [[ -n $cycle ]]; then
    echo "the include graph between folders has a cycle through $cycle" >&2
    faults=$((faults + 1))
fi

if $graph; then
    for arrow in "${!arrows[@]}"; do
        echo "${arrow% *} -> ${arrow#* } ${arrows[$arrow]}"
    done | sort
fi
if ((faults > 0)); then
    echo "check_floors: $faults fault(s)" >&2
    exit 1
fi
echo "check_floors: ${#floors[@]} floors, ${#arrows[@]} arrows between folders, all downward"

#!/usr/bin/env bash
# Starts velmora-sim with the demo bus: five transmitters with slowly changing
# readings on a virtual port at a stable path. Address 4 drops about one reply
# in seven (its lamp turns yellow after 20 polls); address 5 is not served, so
# a device listed with that address stays red; address 6 is of another layout
# (docs/maps/int16-dec-unit.json: holding registers, an int16 with decimal and
# unit registers, no temperature), as docs/demo-bus.json lists it.
#   demobus.sh <velmora-sim> <link path> [more velmora-sim options]
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
sim="$1"
link="$2"
shift 2

exec "$sim" --link "$link" \
    --map "$root/docs/maps/int16-dec-unit.json" \
    --slave "1,pressure=wave:101325:1500:120,temp=wave:23.5:1.5:300" \
    --slave "2,pressure=wave:250000:5000:90,temp=wave:41.2:0.8:200" \
    --slave "3,pressure=wave:1850000:20000:60,temp=wave:-4.5:1.0:240" \
    --slave "4,pressure=wave:98000:800:150,temp=wave:19.0:2.0:180,fault=crc:0.15" \
    --slave "6,map=int16-dec-unit,pressure=wave:350000:4000:100" \
    "$@"

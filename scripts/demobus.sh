#!/usr/bin/env bash
# Starts velmora-sim with the demo bus: four transmitters with slowly changing
# readings on a virtual port at a stable path. Address 4 drops about one reply
# in seven (its lamp turns yellow after 20 polls); address 5 is not served, so
# a device listed with that address stays red.
#   demobus.sh <velmora-sim> <link path> [more velmora-sim options]
set -euo pipefail

sim="$1"
link="$2"
shift 2

exec "$sim" --link "$link" \
    --slave "1,pressure=wave:101325:1500:120,temp=wave:23.5:1.5:300" \
    --slave "2,pressure=wave:250000:5000:90,temp=wave:41.2:0.8:200" \
    --slave "3,pressure=wave:1850000:20000:60,temp=wave:-4.5:1.0:240" \
    --slave "4,pressure=wave:98000:800:150,temp=wave:19.0:2.0:180,fault=crc:0.15" \
    "$@"

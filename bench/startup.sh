#!/bin/bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Times the window program from its start to its window shown, and reads its resident
# memory once it is idle, on a private Xvfb display.
#
#   bench/startup.sh [APP] [RUNS]
#
# APP defaults to build-release/app/codetarvo, RUNS to 20. Each run starts APP and polls
# with xdotool until a visible window named "Code Tarvo 1.0" exists (one poll takes a few
# milliseconds, which bounds the precision), then waits half a second, reads the
# process's VmRSS and stops it. Prints the median and the maximum of the start-up times
# and the median idle memory. Needs Xvfb and xdotool.
set -euo pipefail

app=${1:-build-release/app/codetarvo}
runs=${2:-20}
[ -x "$app" ] || { echo "startup.sh: no executable '$app'" >&2; exit 2; }
for tool in Xvfb xdotool; do
    command -v "$tool" > /dev/null || { echo "startup.sh: needs $tool" >&2; exit 2; }
done

dir=$(mktemp -d)
display=:$((100 + RANDOM % 400))
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp > "$dir/xvfb.log" 2>&1 &
xvfb=$!
trap 'kill "$xvfb" 2> /dev/null; wait "$xvfb" 2> /dev/null; rm -rf "$dir"' EXIT
export DISPLAY=$display
unset QT_QPA_PLATFORM
for ((i = 0; i < 100; ++i)); do
    xdotool getdisplaygeometry > /dev/null 2>&1 && break
    sleep 0.05
done

for ((r = 0; r < runs; ++r)); do
    start=$(date +%s%N)
    "$app" > /dev/null 2>&1 &
    pid=$!
    until xdotool search --onlyvisible --name '^Code Tarvo 1\.0$' > /dev/null 2>&1; do
        kill -0 "$pid" 2> /dev/null || { echo "startup.sh: '$app' exited" >&2; exit 1; }
    done
    end=$(date +%s%N)
    sleep 0.5
    rss=$(awk '$1 == "VmRSS:" { print $2 }' "/proc/$pid/status")
    kill "$pid"
    wait "$pid" 2> /dev/null || true
    echo "$(((end - start) / 1000)) $rss" >> "$dir/times"
done

median() { # of the numbers on standard input
    sort -n | awk '{ v[NR] = $1 } END { print NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
awk '{ print $1 }' "$dir/times" > "$dir/start"
awk '{ print $2 }' "$dir/times" > "$dir/rss"
awk -v runs="$runs" -v median="$(median < "$dir/start")" -v max="$(sort -n "$dir/start" | tail -n 1)" \
    -v rss="$(median < "$dir/rss")" 'BEGIN {
        printf "start-up to window shown, %d runs: median %.1f ms, maximum %.1f ms\n",
               runs, median / 1000, max / 1000
        printf "resident memory, idle after start-up: median %.1f MiB\n", rss / 1024
    }'

#!/bin/bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Times codetarvo-cli against cat on the same file, in the same run, and prints a table of
# medians and ratios.
#
#   bench/cli_bench.sh [CLI] [MIB] [RUNS] [STREAM_MIB]
#
# CLI defaults to build-release/tools/codetarvo-cli, MIB to 100, RUNS to 10, STREAM_MIB to
# 1024. The file is MIB MiB of printable ASCII (base64 of random bytes), read from the page
# cache; the code texts to decode are its encodings, made once. Each command reads its file as
# its standard input; the runs of all commands are interleaved so that the load of other
# processes falls on all of them alike. Two output targets: /dev/null for all, then a pipe read
# by 'cat > /dev/null' for all. Ratios are against cat of the MIB MiB file.
#
# Then, once, STREAM_MIB MiB (the file again and again) through a pipe into
# 'encode --bytes | decode --bytes', against the same through 'cat | cat', with the largest
# resident memory of each codetarvo-cli process when /usr/bin/time is there.
set -euo pipefail

cli=${1:-build-release/tools/codetarvo-cli}
mib=${2:-100}
runs=${3:-10}
stream_mib=${4:-1024}
key='k3y!Tesk'
[ -x "$cli" ] || { echo "cli_bench.sh: no executable '$cli'" >&2; exit 2; }

dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
file=$dir/input.txt
head -c $((mib * 786432 + 3)) /dev/urandom | base64 -w 0 > "$file.b64"
head -c $((mib * 1048576)) "$file.b64" > "$file"
rm "$file.b64"
"$cli" encode --bytes --key "$key" < "$file" > "$file.bytes"
"$cli" encode --key "$key" < "$file" > "$file.text"
cat "$file" "$file.bytes" "$file.text" > /dev/null # into the page cache

# The commands, by name; -pipe adds a pipe to cat.
commands=(cat cli-bytes cli-text dec-bytes dec-text)
names=()
for target in "" -pipe; do
    for c in "${commands[@]}"; do names+=("$c$target"); done
done
run_command() {
    case $1 in
    cat) cat < "$file" ;;
    cli-bytes) "$cli" encode --bytes --key "$key" < "$file" ;;
    cli-text) "$cli" encode --key "$key" < "$file" ;;
    dec-bytes) "$cli" decode --bytes --key "$key" < "$file.bytes" ;;
    dec-text) "$cli" decode --key "$key" < "$file.text" ;;
    esac
}
run() {
    if [ "${1%-pipe}" = "$1" ]; then
        run_command "$1" > /dev/null
    else
        run_command "${1%-pipe}" | cat > /dev/null
    fi
}

for ((r = 0; r < runs; ++r)); do
    for name in "${names[@]}"; do
        start=$(date +%s%N)
        run "$name"
        end=$(date +%s%N)
        echo "$name $(((end - start) / 1000))" >> "$dir/times"
    done
done

median() { # microseconds of NAME's runs, median
    awk -v n="$1" '$1 == n { print $2 }' "$dir/times" | sort -n |
        awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

echo "codetarvo-cli on $mib MiB of printable ASCII (decode: its code text), medians of $runs interleaved runs"
printf '%-16s %10s %9s %s\n' command ms "vs cat" aim
for target in "" -pipe; do
    base=$(median "cat$target")
    for c in "${commands[@]}"; do
        name=$c$target
        t=$(median "$name")
        case $name in
        *-bytes*) aim=2 ;;
        *-text*) aim=4 ;;
        *) aim= ;;
        esac
        awk -v n="$name" -v t="$t" -v b="$base" -v aim="$aim" 'BEGIN {
            r = t / b
            verdict = aim == "" ? "" : (r <= aim ? "<= " aim "x met" : "<= " aim "x NOT met")
            printf "%-16s %10.1f %9.2f %s\n", n, t / 1000, r, verdict }'
    done
done

# The streamed case: more than the tool could hold, through a pipe both ways.
reps=$(((stream_mib + mib - 1) / mib))
source_of() { for ((i = 0; i < reps; ++i)); do cat "$file"; done; }
timed=()
[ -x /usr/bin/time ] && timed=(/usr/bin/time -f %M -o)
start=$(date +%s%N)
source_of | cat | cat > /dev/null
base=$(($(date +%s%N) - start))
start=$(date +%s%N)
if [ ${#timed[@]} -gt 0 ]; then
    source_of | "${timed[@]}" "$dir/enc.rss" "$cli" encode --bytes --key "$key" |
        "${timed[@]}" "$dir/dec.rss" "$cli" decode --bytes --key "$key" > /dev/null
else
    source_of | "$cli" encode --bytes --key "$key" | "$cli" decode --bytes --key "$key" > /dev/null
fi
t=$(($(date +%s%N) - start))
awk -v m=$((reps * mib)) -v t="$t" -v b="$base" 'BEGIN {
    printf "%d MiB streamed: encode --bytes | decode --bytes %.1f s, cat | cat %.1f s (%.2fx)\n",
        m, t / 1e9, b / 1e9, t / b }'
if [ -f "$dir/enc.rss" ]; then
    echo "largest resident memory: encode $(($(cat "$dir/enc.rss") / 1024)) MiB," \
        "decode $(($(cat "$dir/dec.rss") / 1024)) MiB"
fi

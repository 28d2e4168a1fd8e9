#!/bin/bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Times codetarvo-cli against cat on the same file, in the same run, and prints a table of
# medians and ratios.
#
#   bench/cli_bench.sh [CLI] [MIB] [RUNS]
#
# CLI defaults to build-release/tools/codetarvo-cli, MIB to 100, RUNS to 10. The file is
# MIB MiB of printable ASCII (base64 of random bytes), read from the page cache. Each
# command reads the file as its standard input; the runs of all commands are interleaved so
# that the load of other processes falls on all of them alike. Two output targets:
# /dev/null for all, then a pipe read by 'cat > /dev/null' for all.
set -euo pipefail

cli=${1:-build-release/tools/codetarvo-cli}
mib=${2:-100}
runs=${3:-10}
key='k3y!Tesk'
[ -x "$cli" ] || { echo "cli_bench.sh: no executable '$cli'" >&2; exit 2; }

dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
file=$dir/input.txt
head -c $((mib * 786432 + 3)) /dev/urandom | base64 -w 0 > "$file.b64"
head -c $((mib * 1048576)) "$file.b64" > "$file"
rm "$file.b64"
cat "$file" > /dev/null # into the page cache

# The commands, by name; each reads "$file" on standard input.
names=(cat cli-bytes cli-text cat-pipe cli-bytes-pipe cli-text-pipe)
run() {
    case $1 in
    cat) cat < "$file" > /dev/null ;;
    cli-bytes) "$cli" encode --bytes --key "$key" < "$file" > /dev/null ;;
    cli-text) "$cli" encode --key "$key" < "$file" > /dev/null ;;
    cat-pipe) cat < "$file" | cat > /dev/null ;;
    cli-bytes-pipe) "$cli" encode --bytes --key "$key" < "$file" | cat > /dev/null ;;
    cli-text-pipe) "$cli" encode --key "$key" < "$file" | cat > /dev/null ;;
    esac
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

echo "codetarvo-cli encode on $mib MiB of printable ASCII, medians of $runs interleaved runs"
printf '%-16s %10s %9s %s\n' command ms "vs cat" aim
for target in "" -pipe; do
    base=$(median "cat$target")
    for name in "cat$target" "cli-bytes$target" "cli-text$target"; do
        t=$(median "$name")
        case $name in
        cli-bytes*) aim=2 ;;
        cli-text*) aim=4 ;;
        *) aim= ;;
        esac
        awk -v n="$name" -v t="$t" -v b="$base" -v aim="$aim" 'BEGIN {
            r = t / b
            verdict = aim == "" ? "" : (r <= aim ? "<= " aim "x met" : "<= " aim "x NOT met")
            printf "%-16s %10.1f %9.2f %s\n", n, t / 1000, r, verdict }'
    done
done

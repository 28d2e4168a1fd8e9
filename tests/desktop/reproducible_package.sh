#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package twice from the current build tree, a second apart, with a fixed
# SOURCE_DATE_EPOCH as dev/release gives it, and checks that both are the same bytes and that
# every file and folder in the package carries that time and root's ownership. diffoscope,
# where installed, shows what differs.
#   reproducible_package.sh CPACK BUILD_DIR
set -euo pipefail
cpack=$1
build=$2
for tool in "$cpack" dpkg-deb; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export SOURCE_DATE_EPOCH=1700000000 TZ=UTC
umask 022

for run in 1 2; do
    # The second run stages its files a second later than the first.
    [ "$run" = 1 ] || sleep 1
    "$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/$run" >"$scratch/cpack.log" 2>&1 ||
        { cat "$scratch/cpack.log"; echo "FAIL: cpack could not build the package"; exit 1; }
done
first=$(echo "$scratch"/1/*.deb)
second=$(echo "$scratch"/2/*.deb)
if ! cmp "$first" "$second"; then
    ! command -v diffoscope >/dev/null || diffoscope "$first" "$second" | head -n 80
    echo "FAIL: two builds of the package differ"
    exit 1
fi
when=$(date -d "@$SOURCE_DATE_EPOCH" '+%F %T')
odd=$(dpkg-deb --fsys-tarfile "$first" | tar -tv --numeric-owner --full-time |
    awk -v when="$when" '$2 != "0/0" || $4 " " $5 != when')
[ -z "$odd" ] || { echo "$odd"; echo "FAIL: files above are not root's or not of $when"; exit 1; }
echo "PASS: $(basename "$first") is the same bytes twice, every file root's and of $when"

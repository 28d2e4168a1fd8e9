#!/bin/bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the release preset and runs every benchmark, each printing its table of figures
# and ratios: the cipher against memcpy, keystrokes in the window against the bare text
# widget, memory, the command line against cat, and start-up.
#
#   bench/run-all.sh            # from the top of the source tree
#
# Takes several minutes, most of it in the window's 1 MiB cases. Needs Xvfb and xdotool
# for the start-up figures (skipped without them).
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset release > /dev/null
cmake --build --preset release -j 2

echo "== Cipher (Google Benchmark; ratios to memcpy at the end)"
build-release/bench/cipher_bench --benchmark_repetitions=10 \
    --benchmark_enable_random_interleaving=true --benchmark_report_aggregates_only=true \
    --benchmark_min_time=0.1
echo
echo "== Keystroke in the window (medians of 5; floor: a bare QPlainTextEdit given the result)"
QT_QPA_PLATFORM=offscreen build-release/bench/window_bench 2> /dev/null
echo
echo "== Memory"
QT_QPA_PLATFORM=offscreen build-release/bench/window_bench --memory 2> /dev/null
echo
echo "== Command line against cat"
bench/cli_bench.sh build-release/tools/codetarvo-cli 100 10
echo
echo "== Start-up"
if command -v Xvfb > /dev/null && command -v xdotool > /dev/null; then
    bench/startup.sh build-release/app/codetarvo 20
else
    echo "skipped: needs Xvfb and xdotool"
fi

#!/bin/sh
# Builds the benchmark (Release) and prints the speed table from one run of it, Pillow timed on
# the same files in the same run. Extra arguments go to quorvel_bench (--benchmark_filter=...).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 --target quorvel_bench quorvel_tool >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
QUORVEL_BENCH_FILES="$work" "$build/bench/quorvel_bench" --benchmark_out="$work/run.json" \
    --benchmark_out_format=json "$@" >"$work/log" 2>&1 || { cat "$work/log"; exit 1; }
python3 "$root/scripts/bench_table.py" "$work/run.json" "$work"

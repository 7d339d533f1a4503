#!/usr/bin/env bash
# Runs fuzz targets for SECONDS each, two at a time (one per core), each from its seeds
# (fuzz/make-corpus.sh) into a corpus that grows under OUT/corpus; crashes, timeouts and
# out-of-memory inputs land in OUT/findings/TARGET/. Prints a line per target: CPU seconds,
# executions, corpus size, findings.
# Usage: fuzz/run-campaign.sh BUILD_DIR SEEDS_DIR OUT_DIR SECONDS [TARGET...]
#   TARGET defaults to the targets a full campaign covers (readers raster wsq_decode ...).
set -uo pipefail
build=${1:?usage: run-campaign.sh BUILD_DIR SEEDS_DIR OUT_DIR SECONDS [TARGET...]}
seeds=${2:?}
out=${3:?}
seconds=${4:?}
shift 4
targets=("$@")
((${#targets[@]})) || targets=(readers raster wsq_decode wsq_stream convert gdi toolkit nistcom converter_ini gif_lzw)

run_one() {
    local target=$1 corpus="$out/corpus/$1" findings="$out/findings/$1/"
    mkdir -p "$corpus" "$findings" "$out/logs"
    [ -d "$seeds/$target" ] && cp -n "$seeds/$target"/* "$corpus/" 2>/dev/null
    # 25 s per input: far above any honest input even instrumented; 2.5 GB per process.
    /usr/bin/time -f "%U %S" -o "$out/logs/$target.time" \
        "$build/fuzz/fuzz_$target" "$corpus" -max_total_time="$seconds" -timeout=25 \
        -rss_limit_mb=2560 -print_final_stats=1 -artifact_prefix="$findings" \
        >"$out/logs/$target.log" 2>&1
    local cpu execs found
    cpu=$(awk '{printf "%d", $1 + $2}' "$out/logs/$target.time" 2>/dev/null)
    execs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$out/logs/$target.log" | grep -o '[0-9]*$')
    found=$(find "$findings" -type f | wc -l)
    printf '%-14s cpu %5ss  execs %10s  corpus %6s  findings %s\n' "$target" "${cpu:-?}" "${execs:-?}" \
        "$(find "$corpus" -type f | wc -l)" "$found"
}

running=0
for target in "${targets[@]}"; do
    run_one "$target" &
    running=$((running + 1))
    if ((running == 2)); then wait -n; running=$((running - 1)); fi
done
wait

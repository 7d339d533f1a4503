#!/usr/bin/env bash
# Runs fuzz targets for SECONDS each, two at a time (one per core), each from its seeds
# (fuzz/make-corpus.sh) and its kept corpus (fuzz/corpus/fuzz_TARGET/, read only) into a corpus
# that grows under OUT/corpus; crashes, timeouts and out-of-memory inputs land in
# OUT/findings/TARGET/. Prints a line per target: CPU seconds, executions, corpus size,
# findings, and with --merge the kept corpus's inputs before and after the merge.
# Usage: fuzz/run-campaign.sh [--merge] BUILD_DIR SEEDS_DIR OUT_DIR SECONDS [TARGET...]
#   TARGET defaults to every target with a kept corpus under fuzz/corpus/ (all of them).
#   --merge: after a target's run, fuzz/corpus/fuzz_TARGET/ becomes the minimal set (libFuzzer's
#   -merge=1) of its inputs and the run's finds that reaches all their coverage, inputs above
#   64 KB left out (the corpus is replayed in CI, input by input). Commit the change.
set -uo pipefail
merge=0
if [ "${1:-}" = --merge ]; then
    merge=1
    shift
fi
build=${1:?usage: run-campaign.sh [--merge] BUILD_DIR SEEDS_DIR OUT_DIR SECONDS [TARGET...]}
seeds=${2:?}
out=${3:?}
seconds=${4:?}
shift 4
targets=("$@")
kept_root=$(cd "$(dirname "$0")" && pwd)/corpus
if ((${#targets[@]} == 0)); then
    # Every target that keeps a corpus: all of them.
    for kept in "$kept_root"/fuzz_*/; do
        kept=${kept%/}
        targets+=("${kept##*/fuzz_}")
    done
fi
max_kept_bytes=65536

# Minimises the kept corpus together with the target's new finds: libFuzzer's -merge=1 into an
# empty folder keeps the fewest inputs that reach all the coverage of both, and that becomes the
# kept corpus (inputs are named by a hash of their bytes, so the ones that stay keep their
# names). Prints the kept inputs before and after.
merge_kept() {
    local target=$1 kept="$kept_root/fuzz_$1" new="$out/merge/$1/new" minimal="$out/merge/$1/minimal"
    rm -rf "$out/merge/$1"
    mkdir -p "$kept" "$new" "$minimal"
    find "$out/corpus/$target" -type f -size -$((max_kept_bytes + 1))c -exec cp -t "$new" {} +
    local before
    before=$(find "$kept" -type f | wc -l)
    if "$build/fuzz/fuzz_$target" -merge=1 -timeout=25 -rss_limit_mb=2560 "$minimal" "$kept" "$new" \
        >"$out/logs/$target.merge.log" 2>&1 && [ -n "$(ls -A "$minimal")" ]; then
        find "$kept" -type f -delete
        cp -t "$kept" "$minimal"/*
    else
        echo "$target: merge failed, see $out/logs/$target.merge.log" >&2
    fi
    echo "$before -> $(find "$kept" -type f | wc -l)"
}

run_one() {
    local target=$1 corpus="$out/corpus/$1" findings="$out/findings/$1/"
    mkdir -p "$corpus" "$findings" "$out/logs"
    [ -d "$seeds/$target" ] && cp -n "$seeds/$target"/* "$corpus/" 2>/dev/null
    # 25 s per input: far above any honest input even instrumented; 2.5 GB per process.
    local kept=()
    [ -d "$kept_root/fuzz_$target" ] && kept=("$kept_root/fuzz_$target")
    /usr/bin/time -f "%U %S" -o "$out/logs/$target.time" \
        "$build/fuzz/fuzz_$target" "$corpus" "${kept[@]}" -max_total_time="$seconds" -timeout=25 \
        -rss_limit_mb=2560 -print_final_stats=1 -artifact_prefix="$findings" \
        >"$out/logs/$target.log" 2>&1
    local cpu execs found
    cpu=$(awk '{printf "%d", $1 + $2}' "$out/logs/$target.time" 2>/dev/null)
    execs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$out/logs/$target.log" | grep -o '[0-9]*$')
    found=$(find "$findings" -type f | wc -l)
    local merged=""
    ((merge)) && merged="  kept $(merge_kept "$target")"
    printf '%-14s cpu %5ss  execs %10s  corpus %6s  findings %s%s\n' "$target" "${cpu:-?}" \
        "${execs:-?}" "$(find "$corpus" -type f | wc -l)" "$found" "$merged"
}

running=0
for target in "${targets[@]}"; do
    run_one "$target" &
    running=$((running + 1))
    if ((running == 2)); then wait -n; running=$((running - 1)); fi
done
wait

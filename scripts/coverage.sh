#!/usr/bin/env bash
# Builds with gcc's coverage instrumentation into build-coverage/, runs the test suite there and
# prints line and branch coverage per folder of src/ and tools/ (gcovr, from Debian), then the
# totals. Every branch gcc counts is counted, exception paths among them. Extra arguments go to
# ctest (-R ..., say). Not part of scripts/test.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
command -v gcovr >/dev/null || DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends gcovr
flags="--coverage -O1 -fno-inline -DQUORVEL_COVERAGE"  # the batch workers write their counters too
cmake -S . -B build-coverage -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
    -DCMAKE_EXE_LINKER_FLAGS=--coverage -DCMAKE_SHARED_LINKER_FLAGS=--coverage \
    -DCMAKE_MODULE_LINKER_FLAGS=--coverage -DQUORVEL_BENCH=OFF -DQUORVEL_PYTHON=OFF >/dev/null
cmake --build build-coverage -j"$(nproc)" >/dev/null
find build-coverage -name '*.gcda' -delete
# Failures are shown but do not stop the report: coverage of a red suite is still worth seeing.
ctest --test-dir build-coverage -j"$(nproc)" -E '^(install_prefix|deb_contents|deb_install)$' "$@" |
    grep -E 'tests passed|\(Failed\)|\(Timeout\)' || true
gcovr --root . --object-directory build-coverage --filter 'src/' --filter 'tools/' \
    --json-summary build-coverage/summary.json >/dev/null 2>&1
python3 - build-coverage/summary.json <<'PY'
import collections, json, sys

folders = collections.defaultdict(lambda: [0, 0, 0, 0])
for f in json.load(open(sys.argv[1]))["files"]:
    parts = f["filename"].split("/")
    folder = "/".join(parts[:2]) if parts[0] in ("src", "tools") else parts[0]
    row = folders[folder]
    row[0] += f["line_covered"]; row[1] += f["line_total"]
    row[2] += f["branch_covered"]; row[3] += f["branch_total"]

def pct(a, b):
    return f"{100 * a / b:5.1f}%" if b else "    -"

print(f"| {'folder':<16} | lines  | branches |")
print("|---|---|---|")
total = [0, 0, 0, 0]
for name in sorted(folders):
    r = folders[name]
    total = [t + v for t, v in zip(total, r)]
    print(f"| {name:<16} | {pct(r[0], r[1])} | {pct(r[2], r[3])}   |")
print(f"| {'all':<16} | {pct(total[0], total[1])} | {pct(total[2], total[3])}   |")
PY

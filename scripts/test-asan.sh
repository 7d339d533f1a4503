#!/usr/bin/env bash
# Builds everything but the Qt layer, the benchmarks and the Python module with AddressSanitizer
# and UBSan into build-asan/ and runs the whole test suite there; any report fails the run. The
# packaging tests are left to the plain build: they check the package, not memory safety, and
# would install an instrumented library on the machine.
# The same build counts coverage (QUORVEL_COVERAGE: gcc's counters, -O1, no inlining): after
# the suite it prints line and branch coverage per folder of src/ and tools/ (gcovr), also for
# a red suite: decisions (the code's own conditions) and all branches (with the edges gcc adds
# for exceptions). When the whole suite ran (no arguments) it fails if overall decision
# coverage is more than one point below the figure in scripts/coverage-floor.txt.
# QUORVEL_RECORD_COVERAGE=1 writes the figure measured there instead. Extra arguments go to
# ctest (-R ..., say).
set -euo pipefail
cd "$(dirname "$0")/.."
command -v gcovr >/dev/null || DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends gcovr
# The gdk-pixbuf loader is left out too: gdk-pixbuf's own uninstrumented tools load it.
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVEL_SANITIZE=ON -DQUORVEL_COVERAGE=ON \
    -DQUORVEL_QT=OFF -DQUORVEL_GDK_PIXBUF=OFF -DQUORVEL_BENCH=OFF -DQUORVEL_PYTHON=OFF >/dev/null
cmake --build build-asan -j"$(nproc)"
find build-asan -name '*.gcda' -delete
export ASAN_OPTIONS="abort_on_error=1:detect_leaks=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
# A red suite still gets its table (of the tests that ran), then fails the run.
suite=0
ctest --test-dir build-asan --output-on-failure -j"$(nproc)" -E '^(install_prefix|deb_contents|deb_install)$' "$@" ||
    suite=$?
coverage() {
  gcovr --root . --object-directory build-asan --filter 'src/' --filter 'tools/' -j"$(nproc)" \
      "$@" >/dev/null 2>&1
}
coverage --exclude-throw-branches --json-summary build-asan/coverage-decisions.json
coverage --json-summary build-asan/coverage.json
floor=()
if [ $# -eq 0 ]; then
  floor=(--floor scripts/coverage-floor.txt)
  if [ "${QUORVEL_RECORD_COVERAGE:-0}" = 1 ]; then floor+=(--record); fi
fi
scripts/coverage_table.py build-asan/coverage-decisions.json build-asan/coverage.json "${floor[@]}"
exit "$suite"

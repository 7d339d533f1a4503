#!/usr/bin/env bash
# Builds everything but the Qt layer, the benchmarks and the Python module with AddressSanitizer
# and UBSan into build-asan/ and runs the whole test suite there; any report fails the run. The
# packaging tests are left to the plain build: they check the package, not memory safety, and
# would install an instrumented library on the machine.
set -euo pipefail
cd "$(dirname "$0")/.."
# The gdk-pixbuf loader is left out too: gdk-pixbuf's own uninstrumented tools load it.
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVEL_SANITIZE=ON -DQUORVEL_QT=OFF \
    -DQUORVEL_GDK_PIXBUF=OFF -DQUORVEL_BENCH=OFF -DQUORVEL_PYTHON=OFF >/dev/null
cmake --build build-asan -j"$(nproc)"
export ASAN_OPTIONS="abort_on_error=1:detect_leaks=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
ctest --test-dir build-asan --output-on-failure -j"$(nproc)" -E '^(install_prefix|deb_contents|deb_install)$' "$@"

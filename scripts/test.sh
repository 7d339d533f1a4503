#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test (unit, interop, packaging, Python),
# then the whole suite again built with AddressSanitizer + UBSan in build-asan/ (without the Qt
# windows, the benchmarks and the Python module, which the sanitizer build does not need), and
# the C++ API's thread test once more under ThreadSanitizer in build-tsan/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
ctest --test-dir build --output-on-failure -j"$(nproc)"
scripts/test-asan.sh
cmake -S tests/cpp_api/tsan -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-tsan -j"$(nproc)" >/dev/null
TSAN_OPTIONS="halt_on_error=1" build-tsan/cpp_api_tsan

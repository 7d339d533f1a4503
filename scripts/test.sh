#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test (unit, interop, packaging, Python),
# then the C++ API's thread test once more under ThreadSanitizer in build-tsan/, then the whole
# suite again under AddressSanitizer + UBSan in build-asan/ (scripts/test-asan.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
ctest --test-dir build --output-on-failure -j"$(nproc)"
cmake -S tests/cpp_api/tsan -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-tsan -j"$(nproc)" >/dev/null
TSAN_OPTIONS="halt_on_error=1" build-tsan/cpp_api_tsan
scripts/test-asan.sh

#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test (unit, interop, packaging, Python),
# then the C++ API's thread test once more under ThreadSanitizer in build-tsan/, then the whole
# suite again under AddressSanitizer + UBSan in build-asan/ (scripts/test-asan.sh). Prints the
# time each stage took at the end, so a slow stage shows where it belongs.
set -euo pipefail
cd "$(dirname "$0")/.."

stage_names=()
stage_seconds=()
stage() {
  local name=$1 start=$SECONDS
  shift
  "$@"
  stage_names+=("$name")
  stage_seconds+=($((SECONDS - start)))
}
report_stages() {
  echo "Stage times:"
  for i in "${!stage_names[@]}"; do
    printf '  %-22s %4d:%02d\n' "${stage_names[i]}" $((stage_seconds[i] / 60)) $((stage_seconds[i] % 60))
  done
  printf '  %-22s %4d:%02d\n' total $((SECONDS / 60)) $((SECONDS % 60))
}
trap report_stages EXIT

tsan_thread_test() {
  # It compiles most of the library again (instrumented): ccache, where there is one, keeps
  # a second run short.
  local launcher=()
  if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
  cmake -S tests/api/cpp/tsan -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" >/dev/null
  cmake --build build-tsan -j"$(nproc)" >/dev/null
  # The soak's rounds: about 30 CPU-seconds here, under 30 s on 2 cores.
  TSAN_OPTIONS="halt_on_error=1" QUORVEL_HEADLESS=1 QUORVEL_SOAK_ROUNDS=126 build-tsan/cpp_api_tsan
}

# Every C and C++ file as .clang-format has it.
format_check() {
  git ls-files '*.cpp' '*.h' '*.hpp' '*.c' | grep -v '^tests/data/' | xargs clang-format --dry-run --Werror
}

stage install scripts/install-deps.sh
stage format format_check
stage build scripts/build.sh
stage tests ctest --test-dir build --output-on-failure -j"$(nproc)"
stage "thread test (TSan)" tsan_thread_test
stage "sanitizer suite" scripts/test-asan.sh

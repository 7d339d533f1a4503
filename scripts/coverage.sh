#!/usr/bin/env bash
# Line and branch coverage per folder of src/ and tools/. The sanitizer build counts it:
# scripts/test-asan.sh builds build-asan/ with gcc's counters, runs the suite, prints the table
# and checks the floor. Extra arguments go to ctest (-R ..., say; the floor is then not checked).
exec "$(dirname "$0")/test-asan.sh" "$@"

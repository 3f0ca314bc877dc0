#!/usr/bin/env bash
# Builds with gcov instrumentation, runs every test but the install tests (which
# run installed copies) and prints line and branch coverage of src/ (needs the
# Debian package gcovr).
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/coverage
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKBX_BUILD_BENCH=OFF \
  -DCMAKE_CXX_FLAGS="--coverage -O0" -DCMAKE_EXE_LINKER_FLAGS="--coverage" >/dev/null
cmake --build "$build" -j "$(nproc)"
find "$build" -name '*.gcda' -delete
ctest --test-dir "$build" -j "$(nproc)" -LE install --output-on-failure || echo "coverage: some tests failed" >&2
gcovr -r . --object-directory "$build" --filter 'src/' \
  --exclude-unreachable-branches --exclude-throw-branches --print-summary -o /dev/null

#!/usr/bin/env bash
# Sets everything up and runs every test: the warnings-as-errors build and
# the AddressSanitizer/UBSan build, each with the whole CTest suite.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh --tests

jobs=$(nproc)
for preset in ci asan; do
  echo "== build and test: $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset" -j "$jobs"
done

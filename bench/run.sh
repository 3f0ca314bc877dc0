#!/usr/bin/env bash
# Installs the peers (libxlsxwriter, openpyxl) from Debian with the rest of
# the build dependencies, builds the release preset and runs every benchmark
# whole-process, peers in the same run. Prints the table of bench/README.md.
#
#   bench/run.sh [--quick] [--repeat N]
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh --tests
cmake --preset default >/dev/null
cmake --build --preset default -j2 --target kestbomex fill_bench load_bench
exec /usr/bin/python3 bench/run_benches.py --build build/default "$@"

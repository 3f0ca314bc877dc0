#!/usr/bin/env bash
# Sets everything up, builds, and runs the main job on the bundled example.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)"

./build/default/src/cli/kestbomex --help

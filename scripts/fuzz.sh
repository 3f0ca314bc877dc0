#!/usr/bin/env bash
# Fuzzes the engine's package reader for a number of seconds (default 600).
# With clang++ it builds a libFuzzer target; otherwise g++ builds the same
# target with its own mutation driver. Both run under AddressSanitizer/UBSan.
# Usage: scripts/fuzz.sh [SECONDS]
set -euo pipefail

cd "$(dirname "$0")/.."
seconds="${1:-600}"
out="build/fuzz"
mkdir -p "$out/corpus"
cp tests/data/*.xlsx "$out/corpus/"

sources=(bench/fuzz/package_fuzzer.cpp src/value/*.cpp src/files/*.cpp src/log/*.cpp src/ooxml/*.cpp
         src/xlsbridge/*.cpp src/engine/*.cpp)
flags=(-std=c++20 -O1 -g -Isrc -I/usr/include/stb $(pkg-config --cflags libzip pugixml zlib))
libs=($(pkg-config --libs libzip pugixml zlib))

if command -v clang++ >/dev/null; then
  echo "== building the libFuzzer target with clang++"
  clang++ "${flags[@]}" -Wno-unknown-warning-option -fsanitize=fuzzer,address,undefined \
    "${sources[@]}" "${libs[@]}" -o "$out/package_fuzzer"
  echo "== fuzzing for ${seconds} s (crashes are written to $out/)"
  "$out/package_fuzzer" -max_total_time="$seconds" -max_len=262144 -artifact_prefix="$out/" \
    -print_final_stats=1 "$out/corpus"
else
  echo "== building the fuzz target with g++ and its own mutation driver"
  g++ "${flags[@]}" -DKBX_FUZZ_STANDALONE -fsanitize=address,undefined \
    "${sources[@]}" "${libs[@]}" -o "$out/package_fuzzer"
  echo "== fuzzing for ${seconds} s"
  "$out/package_fuzzer" "$seconds" "$out"/corpus/*.xlsx
fi

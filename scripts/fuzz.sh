#!/usr/bin/env bash
# Fuzzes the engine's package reader, or the formula parser and evaluator, for a
# number of seconds (default 600). With clang++ it builds a libFuzzer target;
# otherwise g++ builds the same target with its own mutation driver. Both run
# under AddressSanitizer/UBSan.
# Usage: scripts/fuzz.sh [SECONDS] [package|formula]
set -euo pipefail

cd "$(dirname "$0")/.."
seconds="${1:-600}"
target="${2:-package}"
out="build/fuzz"

case "$target" in
  package)
    mkdir -p "$out/corpus"
    cp tests/data/*.xlsx "$out/corpus/"
    corpus="$out/corpus"
    sources=(bench/fuzz/package_fuzzer.cpp src/value/*.cpp src/files/*.cpp src/log/*.cpp src/ooxml/*.cpp
             src/xlsbridge/*.cpp src/engine/*.cpp)
    max_len=262144 ;;
  formula)
    # One corpus file per formula of the reference workbooks.
    corpus="$out/formula-corpus"
    mkdir -p "$corpus"
    awk -F'\t' '$1 == "cell" && $5 != "" { print $5 > sprintf("'"$corpus"'/case%04d", NR) }' tests/data/formula_cases.tsv
    sources=(bench/fuzz/formula_fuzzer.cpp src/value/*.cpp src/formula/*.cpp)
    max_len=16384 ;;
  *) echo "unknown target $target (package or formula)" >&2; exit 2 ;;
esac
flags=(-std=c++20 -O1 -g -Isrc -I/usr/include/stb $(pkg-config --cflags libzip pugixml zlib))
libs=($(pkg-config --libs libzip pugixml zlib))
binary="$out/${target}_fuzzer"

if command -v clang++ >/dev/null; then
  echo "== building the libFuzzer target with clang++"
  clang++ "${flags[@]}" -Wno-unknown-warning-option -fsanitize=fuzzer,address,undefined \
    "${sources[@]}" "${libs[@]}" -o "$binary"
  echo "== fuzzing for ${seconds} s (crashes are written to $out/)"
  "$binary" -max_total_time="$seconds" -max_len="$max_len" -artifact_prefix="$out/" \
    -print_final_stats=1 "$corpus"
else
  echo "== building the fuzz target with g++ and its own mutation driver"
  g++ "${flags[@]}" -DKBX_FUZZ_STANDALONE -fsanitize=address,undefined \
    "${sources[@]}" "${libs[@]}" -o "$binary"
  echo "== fuzzing for ${seconds} s"
  "$binary" "$seconds" "$corpus"/*
fi

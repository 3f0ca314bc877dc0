#!/usr/bin/env bash
# Sets everything up, builds, and runs the main job on the bundled examples
# through the command line `kestbomex`: the template-fill road (GetBomParams
# with the dialog's answers on the command line, then ExportBomExcel), the
# paged plain list and the summary list, for whichever examples are present.
# Results go to build/release/example-output/.
#
# Installs only what building and running need (scripts/install-deps.sh
# without --tests) and builds the programs alone (the release preset: no
# tests, no benchmarks).
set -euo pipefail
cd "$(dirname "$0")/.."

if [ -z "${KBX_CLI:-}" ]; then
  ./scripts/install-deps.sh
  cmake --preset release >/dev/null
  cmake --build --preset release -j "$(nproc)"
fi
kbx=${KBX_CLI:-./build/release/src/cli/kestbomex}
out=${KBX_EXAMPLE_OUTPUT:-build/release/example-output}
mkdir -p "$out"
out=$(cd "$out" && pwd)
export TEMP="$out"  # the log KestDBBomEx.log and the working copies go here

first() { for f in "$@"; do [ -e "$f" ] && { echo "$f"; return; }; done; }
json_field() { /usr/bin/python3 -c 'import json, sys; print(json.load(sys.stdin)[sys.argv[1]])' "$1"; }

ran=0
example=examples/templatefill
if [ -f "$example/template.xlsx" ] && [ -f "$example/bom.json" ]; then
  echo "== template fill: GetBomParams, then ExportBomExcel"
  answer=$("$kbx" get-bom-params "$example/template.xlsx" --hint xlsx --dir "$example")
  echo "$answer"
  copy=$(printf '%s' "$answer" | json_field ExcelFileName)
  "$kbx" export-bom "$example/bom.json" "$copy" Stueckliste --sheet Stueckliste
  cp "$copy" "$out/templatefill.xlsx"
  echo "   -> $out/templatefill.xlsx"
  ran=$((ran + 1))
fi

example=examples/plainbom
template=$(first "$example"/template*.xlsx "$example"/*.xlsx)
bom=$(first "$example"/bom.json "$example"/bom.csv)
if [ -n "$template" ] && [ -n "$bom" ]; then
  echo "== plain BOM list: ExportPlain2"
  "$kbx" export-plain "$bom" "$template" "$out/plainbom.xlsx" --pos-per-sheet 5 --insert-empty-rows 1
  echo "   -> $out/plainbom.xlsx"
  ran=$((ran + 1))
fi

example=examples/summary
template=$(first "$example"/template*.xlsx "$example"/*.xlsx)
bom=$(first "$example"/bom.json "$example"/bom.csv)
if [ -n "$template" ] && [ -n "$bom" ]; then
  echo "== summary list: CreateSummaryExcel"
  "$kbx" summary "$bom" "$template" "$out/summary.xlsx"
  echo "   -> $out/summary.xlsx"
  ran=$((ran + 1))
fi

echo "== $ran example(s) written to $out; log: $out/KestDBBomEx.log"
[ "$ran" -gt 0 ]

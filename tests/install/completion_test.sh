#!/usr/bin/env bash
# Asks bash for what the built completion script offers when Tab is pressed
# after a kestbomex command line, the way bash-completion runs it.
set -euo pipefail
script=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" && mkdir folder && touch 'bom one.json' template.xlsx
# The completions of the words given (the last one is the word being completed), one a line.
completions() {
  bash -c '. "$0"; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _kestbomex; printf "%s\n" "${COMPREPLY[@]}"' "$script" "$@"
}
check() { [ "$1" = "$2" ] || { printf 'expected:\n%s\ngot:\n%s\n' "$2" "$1"; exit 1; }; }
check "$(completions kestbomex call Ex)" $'ExportBomExcel\nExportAsTxt\nExportAsTxt2\nExportPlain\nExportPlain2'
check "$(completions kestbomex ex)" $'export-plain\nexport-bom'
check "$(completions kestbomex export-plain bom)" 'bom one.json'
check "$(completions kestbomex export-plain b t o --pos)" '--pos-per-sheet'
check "$(completions kestbomex get-bom-params t --dir f)" 'folder'

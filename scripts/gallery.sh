#!/usr/bin/env bash
# Renders the README's gallery, docs/gallery/{templatefill,plainbom,summary}.png:
# runs the bundled examples (scripts/run-example.sh; KBX_CLI as there),
# prints each result to PDF with LibreOffice in headless mode, checks that
# every sheet fits one printed page, and turns the first page into a PNG.
set -euo pipefail
cd "$(dirname "$0")/.."

# LibreOffice and pdfinfo / pdftoppm come with the test tools.
./scripts/install-deps.sh --tests
out=${KBX_GALLERY_OUTPUT:-build/release/gallery}
rm -rf "$out"
mkdir -p "$out" docs/gallery
KBX_EXAMPLE_OUTPUT="$out" ./scripts/run-example.sh >/dev/null
profile=$(mktemp -d)
trap 'rm -rf "$profile"' EXIT

visible_sheets() {
  /usr/bin/python3 -c 'import sys, openpyxl
print(sum(s.sheet_state == "visible" for s in openpyxl.load_workbook(sys.argv[1]).worksheets))' "$1"
}

for name in templatefill plainbom summary; do
  soffice -env:UserInstallation="file://$profile" --headless --convert-to pdf --outdir "$out" "$out/$name.xlsx" >/dev/null 2>&1
  pages=$(pdfinfo "$out/$name.pdf" | awk '/^Pages:/ {print $2}')
  size=$(pdfinfo "$out/$name.pdf" | awk '/^Page size:/ {print $3 "x" $5}')
  sheets=$(visible_sheets "$out/$name.xlsx")
  echo "$name: $sheets sheet(s), $pages page(s) of $size pt"
  [ "$pages" = "$sheets" ] || { echo "$name: a sheet takes more than one page" >&2; exit 1; }
  case $size in 595*x841* | 595*x842*) ;; *) echo "$name: pages are not A4 portrait" >&2; exit 1 ;; esac
  pdftoppm -png -r 72 -f 1 -l 1 -singlefile "$out/$name.pdf" "docs/gallery/$name"
done

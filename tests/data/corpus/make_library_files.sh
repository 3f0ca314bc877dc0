#!/bin/sh
# Writes the corpus files made by spreadsheet-writing libraries: the example scripts shipped
# in Debian's libexcel-writer-xlsx-perl (Perl) and python3-xlsxwriter (Python), run from their
# unpacked packages (nothing is installed), and make_libxlsxwriter_file.c built against
# libxlsxwriter-dev. Usage: make_library_files.sh OUTDIR
set -eu
out=$(realpath "$1"); here=$(dirname "$(realpath "$0")"); work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
apt-get download libexcel-writer-xlsx-perl libarchive-zip-perl python3-xlsxwriter >/dev/null
for deb in *.deb; do dpkg-deb -x "$deb" root; done
mkdir perl python c
cp root/usr/share/doc/libexcel-writer-xlsx-perl/examples/* perl/ && gunzip -f perl/*.gz
cp -r root/usr/share/doc/python3-xlsxwriter/examples/* python/
(cd perl && export PERL5LIB="$work/root/usr/share/perl5" &&
  for ex in autofilter chart_combined comments1 conditional_format data_validate demo macros outline \
            rich_strings sparklines1 tables; do perl "$ex.pl"; done)
(cd python && export PYTHONPATH="$work/root/usr/lib/python3/dist-packages" &&
  for ex in chartsheet comments2 headers_footers images textbox; do /usr/bin/python3 "$ex.py"; done)
for f in perl/*.xlsx perl/*.xlsm; do cp "$f" "$out/ewx-$(basename "$f")"; done
for ex in chartsheet comments headers_footers images textbox; do cp "python/$ex.xlsx" "$out/xlsxwriter-$ex.xlsx"; done
cp "$here/logo.png" c/ && cc -o c/make "$here/make_libxlsxwriter_file.c" $(pkg-config --cflags --libs xlsxwriter)
(cd c && ./make) && cp c/libxlsxwriter_bom.xlsx "$out/libxlsxwriter-bom.xlsx"

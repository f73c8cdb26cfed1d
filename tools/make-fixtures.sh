#!/bin/sh
# Regenerates the roster test workbooks and the sample roster with real spreadsheet programs and
# libraries, plus what LibreOffice and Gnumeric print for every sheet (the expected data of the
# reader tests): tests/data/expected/FIXTURE.PROGRAM.SHEETNAME.csv, FIXTURE being the file name
# without .xls, or with .xlsx.
# .xls: LibreOffice and Gnumeric. .xlsx: LibreOffice, Gnumeric, openpyxl and XlsxWriter.
# Needs python3 (with python3-openpyxl and python3-xlsxwriter), soffice and ssconvert.
# Usage: tools/make-fixtures.sh [xls|xlsx]   (both when no argument is given)
set -e
root="$(cd "$(dirname "$0")/.." && pwd)"
data="$root/tests/data"
src="$data/src"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
lo() { soffice -env:UserInstallation="file://$work/profile" --headless "$@" >/dev/null 2>&1; }
what="${1:-all}"

# What each program prints for every sheet of workbook $1, saved as $2.PROGRAM.SHEETNAME.csv.
expected() {
  f="$1"
  b="$2"
  stem="$(basename "$f")"
  stem="${stem%.*}"
  rm -f "$data/expected/$b".gnumeric.*.csv "$data/expected/$b".libreoffice.*.csv
  ssconvert -S -T Gnumeric_stf:stf_csv "$f" "$data/expected/$b.gnumeric.%s.csv" 2>/dev/null
  mkdir -p "$work/csv-$b"
  lo --convert-to 'csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,false,false,false,-1' \
     --outdir "$work/csv-$b" "$f"
  for c in "$work/csv-$b"/*.csv; do
    sheet="$(basename "$c" .csv)"
    sheet="${sheet#"$stem"-}"
    cp "$c" "$data/expected/$b.libreoffice.$sheet.csv"
  done
}

/usr/bin/env python3 "$root/tools/fixture_sources.py" "$src"
mkdir -p "$data/expected"
for base in roster3 roster7 dates1904; do
  # Gnumeric reads packaged OpenDocument only: LibreOffice packs the source for it.
  lo --convert-to ods --outdir "$work" "$src/$base.fods"
done
lo --convert-to ods --outdir "$work" "$src/sample.fods"

if [ "$what" != xlsx ]; then
  for base in roster3 roster7 dates1904; do
    ssconvert -T Gnumeric_Excel:excel_biff8 "$work/$base.ods" "$data/gn-$base.xls" 2>/dev/null
    lo --convert-to xls --outdir "$work" "$src/$base.fods"
    cp "$work/$base.xls" "$data/lo-$base.xls"
  done
  # A BIFF5 workbook (a "Book" stream): the component must refuse to write it.
  ssconvert -T Gnumeric_Excel:excel_biff7 "$work/roster3.ods" "$data/gn-biff5.xls" 2>/dev/null
  lo --convert-to xls --outdir "$work" "$src/sample.fods"
  cp "$work/sample.xls" "$root/roster/sample/点名册.xls"
  for f in "$data"/lo-*.xls "$data"/gn-*.xls; do
    [ "$(basename "$f")" = gn-biff5.xls ] && continue
    expected "$f" "$(basename "$f" .xls)"
  done
fi

if [ "$what" != xls ]; then
  for base in roster3 roster7 dates1904; do
    ssconvert -T Gnumeric_Excel:xlsx2 "$work/$base.ods" "$data/gn-$base.xlsx" 2>/dev/null
    lo --convert-to xlsx --outdir "$work" "$src/$base.fods"
    cp "$work/$base.xlsx" "$data/lo-$base.xlsx"
  done
  # The Python libraries need Debian's interpreter (python3-openpyxl, python3-xlsxwriter).
  /usr/bin/python3 "$root/tools/xlsx_fixtures.py" "$data"
  for f in "$data"/*.xlsx; do expected "$f" "$(basename "$f")"; done
fi
echo "fixtures written to $data"

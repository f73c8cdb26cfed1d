#!/bin/sh
# Regenerates the roster test workbooks and the sample roster with two real spreadsheet programs,
# plus what each program itself prints for every sheet (the expected data of the reader tests):
# tests/data/expected/FIXTURE.PROGRAM.SHEETNAME.csv.
# Needs python3, LibreOffice (soffice) and Gnumeric (ssconvert). Usage: tools/make-fixtures.sh
set -e
root="$(cd "$(dirname "$0")/.." && pwd)"
data="$root/tests/data"
src="$data/src"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
lo() { soffice -env:UserInstallation="file://$work/profile" --headless "$@" >/dev/null 2>&1; }

python3 "$root/tools/fixture_sources.py" "$src"
for base in roster3 roster7 dates1904; do
  # Gnumeric reads packaged OpenDocument only: LibreOffice packs the source, Gnumeric writes the .xls.
  lo --convert-to ods --outdir "$work" "$src/$base.fods"
  ssconvert -T Gnumeric_Excel:excel_biff8 "$work/$base.ods" "$data/gn-$base.xls" 2>/dev/null
  lo --convert-to xls --outdir "$work" "$src/$base.fods"
  cp "$work/$base.xls" "$data/lo-$base.xls"
done
# A BIFF5 workbook (a "Book" stream): the component must refuse to write it.
ssconvert -T Gnumeric_Excel:excel_biff7 "$work/roster3.ods" "$data/gn-biff5.xls" 2>/dev/null
lo --convert-to xls --outdir "$work" "$src/sample.fods"
cp "$work/sample.xls" "$root/roster/sample/点名册.xls"

rm -rf "$data/expected"
mkdir -p "$data/expected"
for f in "$data"/lo-*.xls "$data"/gn-*.xls; do
  b="$(basename "$f" .xls)"
  [ "$b" = gn-biff5 ] && continue
  ssconvert -S -T Gnumeric_stf:stf_csv "$f" "$data/expected/$b.gnumeric.%s.csv" 2>/dev/null
  mkdir -p "$work/csv-$b"
  lo --convert-to 'csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,false,false,false,-1' \
     --outdir "$work/csv-$b" "$f"
  for c in "$work/csv-$b"/*.csv; do
    sheet="$(basename "$c" .csv)"
    sheet="${sheet#"$b"-}"
    cp "$c" "$data/expected/$b.libreoffice.$sheet.csv"
  done
done
echo "fixtures written to $data"

#!/bin/sh
# The same work done by LibreOffice headless, for comparison: open and print every cell
# (conversion to CSV), and open and save again as .xls. Each run includes LibreOffice's start.
# Usage: bench/compare-libreoffice.sh DATA_DIR
set -e
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
lo() { soffice -env:UserInstallation="file://$work/profile" --headless "$@" >/dev/null 2>&1; }
lo --convert-to csv --outdir "$work/warm" "$1/roster-48.xls"  # first start creates the profile
ms() { echo $(( ($(date +%s%N) - $1) / 1000000 )); }
for n in 48 32766; do
  t=$(date +%s%N); lo --convert-to csv --outdir "$work/csv" "$1/roster-$n.xls"; read=$(ms "$t")
  t=$(date +%s%N); lo --convert-to xls --outdir "$work/xls" "$1/roster-$n.xls"; save=$(ms "$t")
  echo "LibreOffice headless $n students: open+read all (to CSV) $read ms, open+save as .xls $save ms"
done

#!/bin/sh
# Writes the benchmark rosters with Gnumeric into OUTDIR (default: current folder):
#   roster-48.xls     three classes of 48 students, ten lesson days of marks
#   roster-32766.xls  one class of 32766 students (the most a 16-bit counter allows), same columns
#   roster-48.xlsx, roster-32764.xlsx  the same as Office Open XML workbooks
# Needs python3 and ssconvert. Usage: bench/make-bench-files.sh [OUTDIR]
set -e
out="${1:-.}"
mkdir -p "$out"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
python3 - "$work" <<'PY'
import sys
surnames, given = "王李张刘陈杨黄赵吴周徐孙马朱胡郭何高林罗", "伟芳娜秀英敏静丽强磊军洋勇艳杰娟涛明超兰"
def write(path, cls, n):
    with open(path, "w", encoding="utf-8") as f:
        f.write("%d班 点名册\n" % cls)
        f.write("学号,姓名,性别,备注,组别," + ",".join("11月%02d" % (d + 10) for d in range(1, 11)) + "\n")
        for i in range(1, n + 1):
            name = surnames[i % 20] + given[i * 7 % 20] + given[i * 3 % 20]
            marks = ",".join(str((i * d) % 5 + 1) for d in range(1, 11))
            f.write("%d,%s,%s,,%d,%s\n" % (i, name, "男" if i % 2 else "女", (i - 1) % 8 + 1, marks))
for c in (1, 2, 3):
    write("%s/c%d.csv" % (sys.argv[1], c), c, 48)
write("%s/big.csv" % sys.argv[1], 1, 32766)
write("%s/big32764.csv" % sys.argv[1], 1, 32764)
PY
ssconvert --merge-to="$out/roster-48.xls" -T Gnumeric_Excel:excel_biff8 "$work/c1.csv" "$work/c2.csv" "$work/c3.csv" >/dev/null 2>&1
ssconvert -T Gnumeric_Excel:excel_biff8 "$work/big.csv" "$out/roster-32766.xls" >/dev/null 2>&1
ssconvert --merge-to="$out/roster-48.xlsx" -T Gnumeric_Excel:xlsx2 "$work/c1.csv" "$work/c2.csv" "$work/c3.csv" >/dev/null 2>&1
ssconvert -T Gnumeric_Excel:xlsx2 "$work/big32764.csv" "$out/roster-32764.xlsx" >/dev/null 2>&1

#!/usr/bin/env python3
"""Seeds of the .xlsx fuzzers: for every workbook given, the archive itself and its first
worksheet, shared strings, styles and workbook parts joined by NUL bytes (xlsx_package.h).
Usage: xlsx_seeds.py OUTDIR WORKBOOK..."""
import shutil
import sys
import zipfile
from pathlib import Path

out = Path(sys.argv[1])
out.mkdir(parents=True, exist_ok=True)
for path in map(Path, sys.argv[2:]):
    shutil.copy(path, out / path.name)
    with zipfile.ZipFile(path) as z:
        names = {n.lower(): n for n in z.namelist()}

        def part(name):
            return z.read(names[name]) if name in names else b""
        parts = [part("xl/worksheets/sheet1.xml"), part("xl/sharedstrings.xml"), part("xl/styles.xml"), part("xl/workbook.xml")]
    (out / (path.stem + ".parts")).write_bytes(b"\0".join(parts))

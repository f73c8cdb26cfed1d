#!/usr/bin/python3
"""Writes the .xlsx roster fixtures of the two Python writers, openpyxl and XlsxWriter.

Both write the three-class roster of fixture_sources.py (the same cells LibreOffice and Gnumeric
get from roster3.fods) and a workbook of the features a reader must not miss: hidden and very
hidden sheets, rich text, formulas with cached values, booleans, errors, date formats, a
whitespace-only heading, the 1904 date system. Usage: xlsx_fixtures.py OUTDIR
"""
import datetime
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import fixture_sources as fs  # noqa: E402

import openpyxl  # noqa: E402
from openpyxl.styles import Font  # noqa: E402
import xlsxwriter  # noqa: E402

MONTH_DAY = 'mm"月"dd'


def roster3_sheets():
    """(name, rows) of roster3, cells as in fixture_sources (title, date tuples included)."""
    days = ["12月01", "12月03", ("date", "2026-12-04", "ce1"), "12月05"]
    c1 = fs.class_rows("高一(1)班 点名册", 0, 48, days,
                       lambda i, d: None if (d == 3 and i > 40) else (i * 3 + d) % 7 + 1)
    c1[5][4] = 2
    c1[7][6] = "4"
    c1[8][5] = None
    c2 = fs.class_rows("高一(2)班", 100, 1, ["12月01"], lambda i, d: 3)
    c3 = fs.class_rows("高一(3)班", 200, 45, ["12月02"], lambda i, d: None if i % 4 == 0 else i % 5)
    for r in c3[2:12]:
        r[0] = str(r[0])
    c3.append([" ", fs.name(299), "女"])
    c3.append([47, fs.name(300), "男"])
    c3.append([])
    c3.append([None, "备注：空行之后的名字不在名单内"])
    return [("高一(1)班", c1), ("高一(2)班", c2), ("高一(3)班", c3)]


def date_of(text):
    return datetime.datetime.strptime(text, "%Y-%m-%d")


def features_sheets():
    """Sheets of the feature workbook: (name, state, rows). Cells: plain values or tuples
    ("date", iso, fmt), ("rich", plain, bold), ("formula", text, cached), ("error",)."""
    rows = [["功能", None, None, None, None],
            ["学号", "姓名", "备注", None, None, "12月01", ("date", "2026-12-03", MONTH_DAY),
             ("date", "2026-12-04", "yyyy-mm-dd"), ("date", "2026-12-05", 14), " "],
            [1, fs.name(1), ("rich", "普通", "加粗"), True, 2.5, 5, 4, None, 3],
            [2, fs.name(2), ("formula", "=A3+A4", 3), False, -1.25, None, 2, 1],
            [3, fs.name(3), ("formula", '=B3&"同学"', fs.name(1) + "同学"), ("error",), 123456.789, 4],
            [4, "混合 mixed ü", "  前后空格  ", "a_x0041_b", "1e-5 as text", 1e-05]]
    hidden = [["隐藏的表"], [None], [1, fs.name(9)]]
    very = [["很隐藏的表"], [1, 2, 3]]
    return [("功能", "visible", rows), ("隐藏", "hidden", hidden), ("很隐藏", "veryHidden", very)]


def xlsxwriter_book(path, sheets, features=False):
    wb = xlsxwriter.Workbook(str(path))
    fmts = {}

    def fmt(code):
        if code not in fmts:
            fmts[code] = wb.add_format({"num_format": code})
        return fmts[code]
    bold = wb.add_format({"bold": True, "font_color": "#c00000"})
    title = wb.add_format({"bold": True, "font_size": 16})
    for sheet in sheets:
        name, state, rows = sheet if features else (sheet[0], "visible", sheet[1])
        ws = wb.add_worksheet(name)
        if state == "hidden":
            ws.hide()
        elif state == "veryHidden":
            ws.hide()  # XlsxWriter writes no veryHidden state
        for r, row in enumerate(rows):
            for c, v in enumerate(row):
                if v is None:
                    continue
                if isinstance(v, tuple):
                    kind = v[0]
                    if kind == "title":
                        ws.merge_range(r, c, r, c + v[2] - 1, v[1], title)
                    elif kind == "date":
                        code = MONTH_DAY if v[2] == "ce1" else v[2]
                        if isinstance(code, int):
                            f = wb.add_format()
                            f.set_num_format(code)
                        else:
                            f = fmt(code)
                        ws.write_datetime(r, c, date_of(v[1]), f)
                    elif kind == "rich":
                        ws.write_rich_string(r, c, v[1], bold, v[2])
                    elif kind == "formula":
                        ws.write_formula(r, c, v[1], None, v[2])
                    elif kind == "error":
                        ws.write_formula(r, c, "=NA()", None, "#N/A")
                elif isinstance(v, bool):
                    ws.write_boolean(r, c, v)
                elif isinstance(v, (int, float)):
                    ws.write_number(r, c, v)
                else:
                    ws.write_string(r, c, v)
    wb.close()


def openpyxl_book(path, sheets, features=False, date1904=False):
    wb = openpyxl.Workbook()
    wb.remove(wb.active)
    if date1904:
        wb.epoch = openpyxl.utils.datetime.CALENDAR_MAC_1904
    for sheet in sheets:
        name, state, rows = sheet if features else (sheet[0], "visible", sheet[1])
        ws = wb.create_sheet(name)
        ws.sheet_state = state
        for r, row in enumerate(rows, start=1):
            for c, v in enumerate(row, start=1):
                if v is None:
                    continue
                cell = ws.cell(row=r, column=c)
                if isinstance(v, tuple):
                    kind = v[0]
                    if kind == "title":
                        cell.value = v[1]
                        cell.font = Font(bold=True, size=16)
                        ws.merge_cells(start_row=r, start_column=c, end_row=r, end_column=c + v[2] - 1)
                    elif kind == "date":
                        cell.value = date_of(v[1])
                        code = MONTH_DAY if v[2] == "ce1" else v[2]
                        cell.number_format = openpyxl.styles.numbers.BUILTIN_FORMATS[code] if isinstance(code, int) else code
                    elif kind == "rich":
                        cell.value = v[1] + v[2]  # openpyxl 3.0 writes no rich text
                    elif kind == "formula":
                        cell.value = v[2]  # openpyxl writes no cached value: the value itself
                    elif kind == "error":
                        cell.value = "#N/A"
                        cell.data_type = "e"
                else:
                    cell.value = v
    wb.save(str(path))


def main():
    out = Path(sys.argv[1])
    out.mkdir(parents=True, exist_ok=True)
    xlsxwriter_book(out / "xw-roster3.xlsx", roster3_sheets())
    openpyxl_book(out / "op-roster3.xlsx", roster3_sheets())
    xlsxwriter_book(out / "xw-features.xlsx", features_sheets(), features=True)
    openpyxl_book(out / "op-features.xlsx", features_sheets(), features=True)
    openpyxl_book(out / "op-dates1904.xlsx",
                  [("日期", "visible", [["日期测试"], ["学号", "姓名", None, None, None,
                                                    ("date", "2026-12-01", "ce1"), ("date", "2026-12-03", "ce1")],
                                         [1, fs.name(1), None, None, None, 5, 4]])],
                  features=True, date1904=True)


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Writes the flat OpenDocument sources of the roster test workbooks.

Each source is converted to .xls by LibreOffice and by Gnumeric (tools/make-fixtures.sh), so the
reader is tested on files written by two independent programs. Usage: fixture_sources.py OUTDIR
"""
import sys
from pathlib import Path
from xml.sax.saxutils import escape

SURNAMES = "王李张刘陈杨黄赵吴周徐孙马朱胡郭何高林罗郑梁谢宋唐许韩冯邓曹彭曾肖田董袁潘于蒋蔡余杜叶程苏魏吕丁任沈姚卢姜崔钟谭陆汪范金石廖贾夏韦付方白邹孟熊秦邱江尹薛闫段雷侯龙史陶黎贺顾毛郝龚邵万钱严覃武戴莫孔向汤"
GIVEN = "伟芳娜秀英敏静丽强磊军洋勇艳杰娟涛明超秀兰霞平刚桂英华玉萍红娥玲芬燕彬鑫宇浩然子涵欣怡梓轩一诺思远雨桐佳琪俊杰晨曦嘉怡"


def name(i):
    s = SURNAMES[(i * 7) % len(SURNAMES)]
    g1 = GIVEN[(i * 5 + 3) % len(GIVEN)]
    if i % 3 == 0:
        return s + g1
    return s + g1 + GIVEN[(i * 11 + 1) % len(GIVEN)]


HEAD = """<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 xmlns:number="urn:oasis:names:tc:opendocument:xmlns:datastyle:1.0"
 xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0"
 xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0"
 xmlns:of="urn:oasis:names:tc:opendocument:xmlns:of:1.2"
 xmlns:calcext="urn:org:documentfoundation:names:experimental:calc:xmlns:calcext:1.0"
 office:version="1.2" office:mimetype="application/vnd.oasis.opendocument.spreadsheet">
<office:automatic-styles>
 <number:date-style style:name="N1"><number:month number:style="long"/><number:text>月</number:text><number:day number:style="long"/></number:date-style>
 <number:date-style style:name="N2"><number:year number:style="long"/><number:text>-</number:text><number:month number:style="long"/><number:text>-</number:text><number:day number:style="long"/></number:date-style>
 <number:number-style style:name="N3"><number:number number:decimal-places="2" number:min-integer-digits="1"/></number:number-style>
 <style:style style:name="ce1" style:family="table-cell" style:data-style-name="N1"/>
 <style:style style:name="ce2" style:family="table-cell" style:data-style-name="N2"/>
 <style:style style:name="ce3" style:family="table-cell" style:data-style-name="N3"/>
 <style:style style:name="ce4" style:family="table-cell"><style:text-properties fo:font-weight="bold" fo:font-size="16pt"/></style:style>
 <style:style style:name="T1" style:family="text"><style:text-properties fo:font-weight="bold" fo:color="#c00000"/></style:style>
</office:automatic-styles>
<office:body><office:spreadsheet>
"""
TAIL = "</office:spreadsheet></office:body></office:document>\n"


def cell(v):
    """v: None, str, int/float, or a tuple (kind, ...) for special cells."""
    if v is None:
        return "<table:table-cell/>"
    if isinstance(v, bool):
        return ('<table:table-cell office:value-type="boolean" office:boolean-value="%s"><text:p>%s</text:p></table:table-cell>'
                % ("true" if v else "false", "TRUE" if v else "FALSE"))
    if isinstance(v, (int, float)):
        return '<table:table-cell office:value-type="float" office:value="%r"><text:p>%r</text:p></table:table-cell>' % (v, v)
    if isinstance(v, str):
        return '<table:table-cell office:value-type="string"><text:p>%s</text:p></table:table-cell>' % escape(v)
    kind = v[0]
    if kind == "date":  # ("date", "2026-12-04", style)
        return ('<table:table-cell table:style-name="%s" office:value-type="date" office:date-value="%s"><text:p>%s</text:p></table:table-cell>'
                % (v[2], v[1], v[1]))
    if kind == "title":  # ("title", text, span)
        return ('<table:table-cell table:style-name="ce4" office:value-type="string" table:number-columns-spanned="%d"><text:p>%s</text:p></table:table-cell>'
                % (v[2], escape(v[1])) + '<table:covered-table-cell/>' * (v[2] - 1))
    if kind == "rich":  # ("rich", plain, bold)
        return ('<table:table-cell office:value-type="string"><text:p>%s<text:span text:style-name="T1">%s</text:span></text:p></table:table-cell>'
                % (escape(v[1]), escape(v[2])))
    if kind == "fnum":  # ("fnum", formula, cached)
        return ('<table:table-cell table:formula="of:%s" office:value-type="float" office:value="%r"><text:p>%r</text:p></table:table-cell>'
                % (escape(v[1], {'"': "&quot;"}), v[2], v[2]))
    if kind == "fstr":
        return ('<table:table-cell table:formula="of:%s" office:value-type="string" calcext:value-type="string" office:string-value="%s"><text:p>%s</text:p></table:table-cell>'
                % (escape(v[1], {'"': "&quot;"}), escape(v[2]), escape(v[2])))
    if kind == "fbool":
        return ('<table:table-cell table:formula="of:%s" office:value-type="boolean" office:boolean-value="%s"><text:p>x</text:p></table:table-cell>'
                % (escape(v[1]), "true" if v[2] else "false"))
    if kind == "dec":  # ("dec", value) with two decimals shown
        return '<table:table-cell table:style-name="ce3" office:value-type="float" office:value="%r"><text:p>%.2f</text:p></table:table-cell>' % (v[1], v[1])
    raise ValueError(kind)


def table(name_, rows):
    out = ['<table:table table:name="%s">' % escape(name_, {'"': "&quot;"})]
    for r in rows:
        out.append("<table:table-row>" + "".join(cell(v) for v in r) + "</table:table-row>")
    out.append("</table:table>")
    return "\n".join(out)


def document(tables, null_date=None):
    settings = ""
    if null_date:
        settings = ('<table:calculation-settings><table:null-date table:date-value="%s"/></table:calculation-settings>\n'
                    % null_date)
    return HEAD + settings + "\n".join(tables) + "\n" + TAIL


def heading_row(days):
    return ["学号", "姓名", "性别", "备注", "组别"] + days


def class_rows(title, first, count, days, marks, seed=0):
    rows = [[("title", title, 5)], heading_row(days)]
    for i in range(1, count + 1):
        r = [i, name(first + i), "男" if (i + seed) % 2 else "女", None, None]
        for d in range(len(days)):
            m = marks(i, d)
            r.append(m)
        rows.append(r)
    return rows


def roster3():
    days = ["12月01", "12月03", ("date", "2026-12-04", "ce1"), "12月05"]
    # Class 1: 48 students, today's column (12月05) filled for students 1..40.
    c1 = class_rows("高一(1)班 点名册", 0, 48, days,
                    lambda i, d: None if (d == 3 and i > 40) else (i * 3 + d) % 7 + 1)
    c1[5][4] = 2          # a group number already there
    c1[7][6] = "4"        # a mark stored as text
    c1[8][5] = None       # a gap in an older day's column
    # Class 2: a single student.
    c2 = class_rows("高一(2)班", 100, 1, ["12月01"], lambda i, d: 3)
    # Class 3: numbers stored as text, a space-only column-A cell ends the list, a name after it.
    c3 = class_rows("高一(3)班", 200, 45, ["12月02"], lambda i, d: None if i % 4 == 0 else i % 5)
    for r in c3[2:12]:
        r[0] = str(r[0])
    c3.append([" ", name(299), "女"])
    c3.append([47, name(300), "男"])
    c3.append([])
    c3.append([None, "备注：空行之后的名字不在名单内"])
    return document([table("高一(1)班", c1), table("高一(2)班", c2), table("高一(3)班", c3)])


def roster7():
    tables = []
    long_text = "长文本" + "".join(GIVEN[(k * 13) % len(GIVEN)] for k in range(5000))
    for s in range(7):
        n = 3 + s
        rows = class_rows("初二(%d)班" % (s + 1), 400 + s * 20, n, ["12月0%d" % (s + 1)], lambda i, d: i % 4 or None)
        if s == 0:
            rows[2][3] = ("rich", "普通", "加粗")
            rows[3][3] = ("fnum", "[.A3]+[.A4]", 3)
            rows[4][3] = ("fstr", "[.B3]&\"同学\"", name(401) + "同学")
            rows[2][2] = True
            rows[3][2] = False
            rows[4][5] = ("dec", 2.5)
            rows[2][5] = ("dec", -1.25)
        if s == 1:
            rows[3][3] = long_text
            rows[2][3] = "Latin text only"
            rows[4][3] = "混合 mixed ü"
        if s == 3:
            # The same relative formula down a column: written as a shared formula.
            for k in range(2, 8):
                rows[k][3] = ("fnum", "[.A%d]*2+[.F%d]" % (k + 1, k + 1), 0)
        if s == 2:
            rows[2][5] = ("date", "2026-11-30", "ce2")
            rows[3][5] = 123456.789
            rows[4][5] = -7
            rows[3][4] = 1e-5
        tables.append(table("初二(%d)班" % (s + 1), rows))
    return document(tables)


def dates1904():
    rows = [["日期测试"], ["学号", "姓名", None, None, None, ("date", "2026-12-01", "ce1"), ("date", "2026-12-03", "ce1")],
            [1, name(1), None, None, None, 5, 4], [2, name(2), None, None, None, 3, None],
            [None, None, None, None, None, ("date", "1904-01-02", "ce2"), ("date", "1999-12-31", "ce2")]]
    return document([table("日期", rows)], null_date="1904-01-01")


def sample():
    days = ["11月24", "11月26", "12月01", "12月03"]
    sizes = [46, 42, 48]
    tables = []
    for k, n in enumerate(sizes):
        rows = class_rows("高二(%d)班 点名册" % (k + 1), 1000 + k * 60, n, days,
                          lambda i, d, k=k: None if (i + d + k) % 5 == 0 else (i * (d + 2) + k) % 5 + 1, seed=k)
        tables.append(table("高二(%d)班" % (k + 1), rows))
    return document(tables)


def main():
    out = Path(sys.argv[1])
    out.mkdir(parents=True, exist_ok=True)
    for fname, text in [("roster3.fods", roster3()), ("roster7.fods", roster7()),
                        ("dates1904.fods", dates1904()), ("sample.fods", sample())]:
        (out / fname).write_text(text, encoding="utf-8")


if __name__ == "__main__":
    main()

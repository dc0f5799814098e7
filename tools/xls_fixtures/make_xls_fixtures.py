#!/usr/bin/python3
"""Writes the small .xls workbooks the contact import is tested with, or one
large workbook of generated contacts for the benchmark.

Needs Debian's python3-xlwt, so run it with the system interpreter:

  /usr/bin/python3 tools/xls_fixtures/make_xls_fixtures.py [OUT_DIR]
      the fixtures (default tests/contacts/data); the output is committed
  /usr/bin/python3 tools/xls_fixtures/make_xls_fixtures.py --rows N OUT.xls
      a sheet "Sheet1" with the header row 姓名, 电话, 备注 and N contacts

xlwt writes the same bytes for the same input, so running it again over the
committed files changes nothing.
"""

import datetime
import os
import sys

import xlwt

HEADERS = ["姓名", "电话", "备注"]


def header(sheet, texts):
    for col, text in enumerate(texts):
        sheet.write(0, col, text)


def contacts(out):
    """Sheet1 with three contacts: a phone number stored as a number, an
    empty phone cell, a remark that is a number, one that is a date and one
    that is a whole number."""
    book = xlwt.Workbook(encoding="utf-8")
    sheet = book.add_sheet("Sheet1")
    header(sheet, HEADERS)
    date = xlwt.easyxf(num_format_str="YYYY-MM-DD")
    sheet.write(1, 0, "张三")
    sheet.write(1, 1, 13800138000)
    sheet.write(1, 2, "同事")
    sheet.write(2, 0, "李四")
    # (2, 1) stays empty
    sheet.write(2, 2, 3.5)
    sheet.write(3, 0, "Wang Wu")
    sheet.write(3, 1, "010-62345678")
    sheet.write(3, 2, datetime.date(2013, 1, 31), date)
    sheet.write(4, 0, "赵六")
    sheet.write(4, 1, 110)
    sheet.write(4, 2, -42)
    book.save(os.path.join(out, "contacts.xls"))


def no_sheet1(out):
    """Headers on the first sheet, rows on sheets of other names only."""
    book = xlwt.Workbook(encoding="utf-8")
    for name in ("联系人", "Sheet2", "sheet11"):
        sheet = book.add_sheet(name)
        header(sheet, HEADERS)
        sheet.write(1, 0, "王五")
        sheet.write(1, 1, "13900000000")
    book.save(os.path.join(out, "no_sheet1.xls"))


def header_elsewhere(out):
    """The header row comes from the first sheet, the rows from "SHEET1"
    (another case), whose own first row is not the header and is skipped."""
    book = xlwt.Workbook(encoding="utf-8")
    first = book.add_sheet("说明")
    header(first, ["电话", "姓名", "其他"])
    data = book.add_sheet("SHEET1")
    header(data, ["Phone", "Name", "Other"])
    data.write(1, 0, "13511112222")
    data.write(1, 1, "钱七")
    data.write(1, 2, "x")
    data.write(2, 0, "13533334444")
    data.write(2, 1, "孙八")
    book.save(os.path.join(out, "header_elsewhere.xls"))


def wide(out):
    """65 used columns: 姓名 in the first, 电话 in the 62nd, 备注 in the 65th,
    every other header "列<n>"; two rows with a value in every column."""
    book = xlwt.Workbook(encoding="utf-8")
    sheet = book.add_sheet("Sheet1")
    columns = 65
    for col in range(columns):
        n = col + 1
        text = {1: "姓名", 62: "电话", 65: "备注"}.get(n, "列%d" % n)
        sheet.write(0, col, text)
    for row in (1, 2):
        for col in range(columns):
            n = col + 1
            if n == 1:
                value = "宽%d" % row
            elif n == 62:
                value = "1390000000%d" % row
            elif n == 65:
                value = "第65列%d" % row
            else:
                value = "r%dc%d" % (row, n)
            sheet.write(row, col, value)
    book.save(os.path.join(out, "wide.xls"))


def trailing_space(out):
    """The phone column's header is "电话 ", which names no field."""
    book = xlwt.Workbook(encoding="utf-8")
    sheet = book.add_sheet("Sheet1")
    header(sheet, ["姓名", "电话 ", "备注"])
    sheet.write(1, 0, "周九")
    sheet.write(1, 1, "13700000001")
    sheet.write(1, 2, "邻居")
    sheet.write(2, 0, "吴十")
    sheet.write(2, 1, "13700000002")
    book.save(os.path.join(out, "trailing_space.xls"))


def rows(path, count):
    """`count` contacts on Sheet1, the phone numbers stored as numbers."""
    surnames = "王李张刘陈杨黄赵吴周徐孙马朱胡郭何高林罗"
    book = xlwt.Workbook(encoding="utf-8")
    sheet = book.add_sheet("Sheet1")
    header(sheet, HEADERS)
    for i in range(count):
        sheet.write(i + 1, 0, surnames[i % len(surnames)] + "小明%d" % (i % 100))
        sheet.write(i + 1, 1, 13800000000 + i)
        sheet.write(i + 1, 2, "同事，第%d号" % i)
    book.save(path)


def main(argv):
    if len(argv) == 3 and argv[0] == "--rows":
        rows(argv[2], int(argv[1]))
        return 0
    if len(argv) > 1:
        sys.stderr.write(__doc__)
        return 2
    out = argv[0] if argv else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests", "contacts", "data")
    os.makedirs(out, exist_ok=True)
    for make in (contacts, no_sheet1, header_elsewhere, wide, trailing_space):
        make(out)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))

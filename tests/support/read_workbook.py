#!/usr/bin/python3
"""Prints an .xlsx workbook as a reader of its own sees it, for the tests
that check what the organiser's exports hold.

  read_workbook.py FILE

One line each, fields separated by tabs, texts escaped (backslash, tab,
newline, carriage return as \\\\ \\t \\n \\r):
  title   <the document title>
  active  <1-based number of the sheet shown on opening>
  sheet   <name>
  width   <column letter> <width>       for columns given a width
  cell    <A1 address> <type> <text>    for every cell holding a value
Exit status 2 when openpyxl is missing, 1 when the file cannot be read.
"""
import sys

try:
    import openpyxl
except ImportError:
    sys.exit(2)


def esc(text):
    return (text.replace("\\", "\\\\").replace("\t", "\\t")
            .replace("\n", "\\n").replace("\r", "\\r"))


def main():
    try:
        book = openpyxl.load_workbook(sys.argv[1])
    except Exception as e:  # any failure to read is the finding
        print("cannot read: %s" % e, file=sys.stderr)
        return 1
    out = ["title\t" + esc(book.properties.title or "")]
    out.append("active\t%d" % (book.worksheets.index(book.active) + 1))
    for ws in book.worksheets:
        out.append("sheet\t" + esc(ws.title))
        for letter, dim in sorted(ws.column_dimensions.items()):
            if dim.customWidth and dim.width is not None:
                out.append("width\t%s\t%g" % (letter, dim.width))
        for row in ws.iter_rows():
            for c in row:
                if c.value is not None:
                    out.append("cell\t%s\t%s\t%s" % (c.coordinate, c.data_type, esc(str(c.value))))
    sys.stdout.write("\n".join(out) + "\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())

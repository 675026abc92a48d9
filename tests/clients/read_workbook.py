#!/usr/bin/python3
"""Prints every sheet of a workbook as JSON, read by xlrd (.xls) or openpyxl (.xlsx).

    read_workbook.py <file>

Output: [{"name": sheet name, "rows": [[cell text, ...], ...]}, ...]; empty cells are "",
trailing empty cells of a row are left out.
"""
import json
import sys


def text(value):
    if value is None:
        return ""
    if isinstance(value, float) and value.is_integer():
        return str(int(value))
    return str(value)


def trim(row):
    row = [text(v) for v in row]
    while row and row[-1] == "":
        row.pop()
    return row


def main():
    path = sys.argv[1]
    with open(path, "rb") as f:
        head = f.read(8)
    sheets = []
    if head.startswith(b"\xd0\xcf\x11\xe0"):
        import xlrd
        book = xlrd.open_workbook(path)
        for sheet in book.sheets():
            rows = [trim(sheet.row_values(r)) for r in range(sheet.nrows)]
            sheets.append({"name": sheet.name, "rows": rows})
    else:
        import openpyxl
        book = openpyxl.load_workbook(path, read_only=True)
        for sheet in book.worksheets:
            rows = [trim(r) for r in sheet.iter_rows(values_only=True)]
            sheets.append({"name": sheet.title, "rows": rows})
    json.dump(sheets, sys.stdout, ensure_ascii=False)


if __name__ == "__main__":
    main()

#!/usr/bin/python3
"""Writes the odd and hostile workbooks of the import tests (tests/tst_oemexchange.cpp).

    odd_workbook.py <folder>

writes <kind>.xlsx and <kind>.xls for the kinds below into the folder. Every workbook holds the sheet "modellist" (product_code, model, oem_model) with the rows
P1 -> N1 and P2 -> N2, changed as the kind says:

  xlsx:  valid, inflating (the sheet unpacks to 2 GB and says so), inflating-hidden (the
         same, its size given as 1 MB), far-reference (a cell in column XFC), far-references
         (20,000 rows with a cell in column XFC, some 100 KB packed), formula (the
         name of P1 is a formula with the stored result "N1-F", that of P2 one without a
         stored result), numeric-code (the codes are the numbers 12345 and 67890.0),
         escaped-text (the names "a_x000D_b" and a literal "_x005F_x000D_ literal"),
         too-many-rows (1,048,577 rows), no-match (the codes X1 and X2), no-sheet (the sheet
         is named "models")
  xls:   valid, inflating (the sheet claims 65,536 x 256 cells), formula (the name of P1 is
         a formula whose stored result is "N1-FORM"),
         numeric-code, cr-text (the name of P1 holds a carriage return), far-reference (a
         cell in the last row and column), no-match, no-column (no column oem_model),
         not-a-workbook (a text file)
"""
import struct
import sys
import zipfile
import zlib

MAIN = "http://schemas.openxmlformats.org/spreadsheetml/2006/main"
RELS = "http://schemas.openxmlformats.org/officeDocument/2006/relationships"
PACKAGE = "http://schemas.openxmlformats.org/package/2006/relationships"

CONTENT_TYPES = (
    '<?xml version="1.0" encoding="UTF-8"?>'
    '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
    '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
    '<Default Extension="xml" ContentType="application/xml"/>'
    '<Override PartName="/xl/workbook.xml" ContentType="application/vnd.openxmlformats-'
    'officedocument.spreadsheetml.sheet.main+xml"/>'
    '<Override PartName="/xl/worksheets/sheet1.xml" ContentType="application/vnd.openxmlformats-'
    'officedocument.spreadsheetml.worksheet+xml"/></Types>')
ROOT_RELS = ('<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="%s">'
             '<Relationship Id="rId1" Type="%s/officeDocument" Target="xl/workbook.xml"/>'
             '</Relationships>' % (PACKAGE, RELS))
WORKBOOK = ('<?xml version="1.0" encoding="UTF-8"?><workbook xmlns="%s" xmlns:r="%s"><sheets>'
            '<sheet name="%%s" sheetId="1" r:id="rId1"/></sheets></workbook>' % (MAIN, RELS))
WORKBOOK_RELS = ('<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="%s">'
                 '<Relationship Id="rId1" Type="%s/worksheet" Target="worksheets/sheet1.xml"/>'
                 '</Relationships>' % (PACKAGE, RELS))
SHEET = "xl/worksheets/sheet1.xml"


def text(ref, value):
    return '<c r="%s" t="inlineStr"><is><t>%s</t></is></c>' % (ref, value)


def rows(codes=("P1", "P2"), names=None):
    cells = {}
    for i, code in enumerate(codes):
        cells["A%d" % (i + 2)] = text("A%d" % (i + 2), code)
        cells["B%d" % (i + 2)] = text("B%d" % (i + 2), "M%d" % (i + 1))
        cells["C%d" % (i + 2)] = text("C%d" % (i + 2), "N%d" % (i + 1))
    for ref, cell in (names or {}).items():
        cells[ref] = cell
    body = '<row r="1">%s%s%s</row>' % (text("A1", "product_code"), text("B1", "model"),
                                       text("C1", "oem_model"))
    for r in (2, 3):
        body += '<row r="%d">%s</row>' % (r, "".join(cells["%s%d" % (c, r)] for c in "ABC"))
    return body


def sheet(data):
    return ('<?xml version="1.0" encoding="UTF-8"?><worksheet xmlns="%s"><sheetData>%s'
            '</sheetData></worksheet>' % (MAIN, data))


def write_xlsx(path, sheet_xml, name="modellist"):
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("[Content_Types].xml", CONTENT_TYPES)
        z.writestr("_rels/.rels", ROOT_RELS)
        z.writestr("xl/workbook.xml", WORKBOOK % name)
        z.writestr("xl/_rels/workbook.xml.rels", WORKBOOK_RELS)
        if sheet_xml is not None:
            z.writestr(SHEET, sheet_xml)


def write_inflating(path, declared):
    """The sheet unpacks to 2 GiB of one long text; its size is given as `declared` bytes
    (None: the true size). One compressed block of 1 MiB is repeated: each starts afresh."""
    head = sheet(rows())[:-len("</sheetData></worksheet>")] + '<row><c t="inlineStr"><is><t>'
    tail = "</t></is></c></row></sheetData></worksheet>"
    chunk = b"x" * (1 << 20)
    count = 2048

    def packed(data, mode):
        packer = zlib.compressobj(9, zlib.DEFLATED, -15)
        return packer.compress(data) + packer.flush(mode)

    first, block, end = (packed(head.encode(), zlib.Z_FULL_FLUSH),
                         packed(chunk, zlib.Z_FULL_FLUSH), packed(tail.encode(), zlib.Z_FINISH))
    # No reader may get near the end, where the checksum would be compared: it is left 0.
    crc = 0
    size = len(head) + count * len(chunk) + len(tail)
    if declared is not None:
        size = declared
    compressed = len(first) + count * len(block) + len(end)

    write_xlsx(path, None)
    with zipfile.ZipFile(path) as z:
        parts = [(i.filename, z.read(i.filename)) for i in z.infolist()]
    with open(path, "wb") as out:
        central = b""
        entries = [(name.encode(), zlib.crc32(data) & 0xFFFFFFFF, packed(data, zlib.Z_FINISH),
                    len(data)) for name, data in parts]
        entries.append((SHEET.encode(), crc, None, size))
        for name, entry_crc, data, length in entries:
            offset = out.tell()
            size_packed = compressed if data is None else len(data)
            out.write(struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, 0, 8, 0, 0, entry_crc,
                                  size_packed, length, len(name), 0) + name)
            if data is None:
                out.write(first)
                for _ in range(count):
                    out.write(block)
                out.write(end)
            else:
                out.write(data)
            central += struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 20, 20, 0, 8, 0, 0,
                                   entry_crc, size_packed, length, len(name), 0, 0, 0, 0, 0,
                                   offset) + name
        start = out.tell()
        out.write(central)
        out.write(struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, len(entries), len(entries),
                              len(central), start, 0))


def xls_book(codes=("P1", "P2"), names=("N1", "N2"), extra=None,
             header=("product_code", "model", "oem_model")):
    """The workbook; `names` may hold callables that write the name cell themselves."""
    import xlwt
    book = xlwt.Workbook(encoding="utf-8")
    s = book.add_sheet("modellist")
    for c, title in enumerate(header):
        s.write(0, c, title)
    for i, code in enumerate(codes):
        s.write(i + 1, 0, code)
        s.write(i + 1, 1, "M%d" % (i + 1))
        if callable(names[i]):
            names[i](xlwt, s)
        else:
            s.write(i + 1, 2, names[i])
    if extra:
        extra(xlwt, s)
    return book


def write_xls_formula(path):
    """xlwt stores no result with a formula. The record after the formula cell (a text cell
    of 10 bytes) becomes a STRING record of the same size with the result "N1-FORM", and the
    formula's result field says "a text, in the STRING record that follows"."""
    def name_cell(xlwt, s):
        s.write(1, 2, xlwt.Formula('"N1-"&"FORM"'))
        s.write(1, 3, "dropped")
    xls_book(names=(name_cell, "N2")).save(path)
    data = bytearray(open(path, "rb").read())
    # FORMULA (0x0006) of row 1, column 2: type, size, row, column.
    at = -1
    while True:
        at = data.find(b"\x06\x00", at + 1)
        assert at >= 0, "no formula record"
        if struct.unpack_from("<HHH", data, at + 2)[1:] == (1, 2) and data[at + 2] >= 20:
            break
    size = struct.unpack_from("<H", data, at + 2)[0]
    data[at + 10:at + 18] = b"\x00\x00\x00\x00\x00\x00\xff\xff"
    following = at + 4 + size
    assert struct.unpack_from("<HH", data, following) == (0x00FD, 10), "no text cell follows"
    data[following:following + 14] = struct.pack("<HHHB", 0x0207, 10, 7, 0) + b"N1-FORM"
    open(path, "wb").write(bytes(data))


def write_xls_inflating(path):
    """The sheet's DIMENSIONS record claims 65,536 rows of 256 columns: readers that size their
    tables by it take hundreds of megabytes for a file of a few kilobytes."""
    xls_book().save(path)
    data = bytearray(open(path, "rb").read())
    at = data.find(struct.pack("<HH", 0x0200, 14))
    assert at >= 0, "no DIMENSIONS record"
    struct.pack_into("<IIHH", data, at + 4, 0, 65536, 0, 256)
    open(path, "wb").write(bytes(data))


def main():
    import os
    folder = sys.argv[1]
    xlsx = {
        "valid": lambda path: write_xlsx(path, sheet(rows())),
        "inflating": lambda path: write_inflating(path, None),
        "inflating-hidden": lambda path: write_inflating(path, 1 << 20),
        "far-reference": lambda path: write_xlsx(
            path, sheet(rows() + '<row r="9">%s</row>' % text("XFC9", "far"))),
        "far-references": lambda path: write_xlsx(path, sheet(rows() + "".join(
            '<row r="%d">%s</row>' % (r, text("XFC%d" % r, "far")) for r in range(9, 20009)))),
        "formula": lambda path: write_xlsx(path, sheet(rows(names={
            "C2": '<c r="C2" t="str"><f>B2&amp;"-F"</f><v>N1-F</v></c>',
            "C3": '<c r="C3"><f>B3&amp;"-G"</f></c>'}))),
        "numeric-code": lambda path: write_xlsx(path, sheet(rows(names={
            "A2": '<c r="A2"><v>12345</v></c>', "A3": '<c r="A3" t="n"><v>67890.0</v></c>'}))),
        "escaped-text": lambda path: write_xlsx(path, sheet(rows(names={
            "C2": text("C2", "a_x000D_b"), "C3": text("C3", "_x005F_x000D_ literal")}))),
        "too-many-rows": lambda path: write_xlsx(path, sheet(rows() + "<row/>" * (1048576 - 2))),
        "no-match": lambda path: write_xlsx(path, sheet(rows(codes=("X1", "X2")))),
        "no-sheet": lambda path: write_xlsx(path, sheet(rows()), "models"),
    }
    xls = {
        "valid": lambda path: xls_book().save(path),
        "formula": write_xls_formula,
        "inflating": write_xls_inflating,
        "numeric-code": lambda path: xls_book(codes=(12345, 67890.0)).save(path),
        "cr-text": lambda path: xls_book(names=("a\rb", "N2")).save(path),
        "far-reference": lambda path: xls_book(
            extra=lambda xlwt, s: s.write(65535, 255, "far")).save(path),
        "no-match": lambda path: xls_book(codes=("X1", "X2")).save(path),
        "no-column": lambda path: xls_book(header=("product_code", "model", "name")).save(path),
        "not-a-workbook": lambda path: open(path, "w").write("product_code,model,oem_model\n"),
    }
    for suffix, kinds in (("xlsx", xlsx), ("xls", xls)):
        for kind, write in kinds.items():
            write(os.path.join(folder, "%s.%s" % (kind, suffix)))


main()

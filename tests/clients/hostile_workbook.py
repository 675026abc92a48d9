#!/usr/bin/python3
"""Writes the workbooks of the fault table.

    hostile_workbook.py valid-xlsx|valid-xls|inflating|far-reference|formula <file>

Every workbook holds the sheet "modellist" (product_code, model, oem_model) with the rows
P1 -> N1 and P2 -> N2, except where the kind says otherwise.
"""
import struct
import sys
import zipfile
import zlib

CONTENT_TYPES = (
    '<?xml version="1.0" encoding="UTF-8"?>'
    '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
    '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
    '<Default Extension="xml" ContentType="application/xml"/>'
    '<Override PartName="/xl/workbook.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"/>'
    '<Override PartName="/xl/worksheets/sheet1.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml"/>'
    '</Types>')
ROOT_RELS = (
    '<?xml version="1.0" encoding="UTF-8"?>'
    '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
    '<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="xl/workbook.xml"/>'
    '</Relationships>')
WORKBOOK = (
    '<?xml version="1.0" encoding="UTF-8"?>'
    '<workbook xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" '
    'xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships">'
    '<sheets><sheet name="modellist" sheetId="1" r:id="rId1"/></sheets></workbook>')
WORKBOOK_RELS = (
    '<?xml version="1.0" encoding="UTF-8"?>'
    '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
    '<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet" Target="worksheets/sheet1.xml"/>'
    '</Relationships>')


def cell(ref, text):
    return '<c r="%s" t="inlineStr"><is><t>%s</t></is></c>' % (ref, text)


def rows(extra=""):
    header = cell("A1", "product_code") + cell("B1", "model") + cell("C1", "oem_model")
    body = '<row r="1">%s</row>' % header
    for i in (1, 2):
        body += '<row r="%d">%s%s%s</row>' % (
            i + 1, cell("A%d" % (i + 1), "P%d" % i), cell("B%d" % (i + 1), "M%d" % i),
            cell("C%d" % (i + 1), "N%d" % i))
    return body + extra


def sheet(data):
    return ('<?xml version="1.0" encoding="UTF-8"?>'
            '<worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main">'
            '<sheetData>%s</sheetData></worksheet>' % data)


def write_xlsx(path, sheet_xml):
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("[Content_Types].xml", CONTENT_TYPES)
        z.writestr("_rels/.rels", ROOT_RELS)
        z.writestr("xl/workbook.xml", WORKBOOK)
        z.writestr("xl/_rels/workbook.xml.rels", WORKBOOK_RELS)
        z.writestr("xl/worksheets/sheet1.xml", sheet_xml)


def write_inflating(path, head, count, tail):
    """A workbook whose sheet inflates to count MiB of one long row: the compressed block of
    one MiB is written count times (each block starts afresh, so the blocks are equal)."""
    chunk = b"x" * (1 << 20)
    first = zlib.compressobj(9, zlib.DEFLATED, -15)
    data = first.compress(head.encode()) + first.flush(zlib.Z_FULL_FLUSH)
    block = zlib.compressobj(9, zlib.DEFLATED, -15)
    block = block.compress(chunk) + block.flush(zlib.Z_FULL_FLUSH)
    last = zlib.compressobj(9, zlib.DEFLATED, -15)
    end = last.compress(tail.encode()) + last.flush()
    crc = zlib.crc32(head.encode())
    for _ in range(count):
        crc = zlib.crc32(chunk, crc)
    crc = zlib.crc32(tail.encode(), crc) & 0xFFFFFFFF
    size = len(head) + count * len(chunk) + len(tail)
    compressed = len(data) + count * len(block) + len(end)
    name = b"xl/worksheets/sheet1.xml"
    write_xlsx(path, "")  # every other part
    # Replace the empty sheet: rewrite the archive with the sheet appended last.
    with zipfile.ZipFile(path) as z:
        parts = [(i.filename, z.read(i.filename)) for i in z.infolist() if i.filename != name.decode()]
    with open(path, "wb") as out:
        central = b""
        for filename, content in parts:
            packer = zlib.compressobj(6, zlib.DEFLATED, -15)
            packed = packer.compress(content) + packer.flush()
            fn = filename.encode()
            offset = out.tell()
            out.write(struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, 0, 8, 0, 0,
                                  zlib.crc32(content) & 0xFFFFFFFF, len(packed), len(content),
                                  len(fn), 0) + fn + packed)
            central += struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 20, 20, 0, 8, 0, 0,
                                   zlib.crc32(content) & 0xFFFFFFFF, len(packed), len(content),
                                   len(fn), 0, 0, 0, 0, 0, offset) + fn
        offset = out.tell()
        out.write(struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, 0, 8, 0, 0, crc, compressed,
                              size, len(name), 0) + name)
        out.write(data)
        for _ in range(count):
            out.write(block)
        out.write(end)
        central += struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 20, 20, 0, 8, 0, 0, crc,
                               compressed, size, len(name), 0, 0, 0, 0, 0, offset) + name
        start = out.tell()
        out.write(central)
        out.write(struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, len(parts) + 1, len(parts) + 1,
                              len(central), start, 0))


def main():
    kind, path = sys.argv[1], sys.argv[2]
    if kind == "valid-xlsx":
        write_xlsx(path, sheet(rows()))
    elif kind == "valid-xls":
        import xlwt
        book = xlwt.Workbook(encoding="utf-8")
        s = book.add_sheet("modellist")
        for c, name in enumerate(["product_code", "model", "oem_model"]):
            s.write(0, c, name)
        for i in (1, 2):
            s.write(i, 0, "P%d" % i)
            s.write(i, 1, "M%d" % i)
            s.write(i, 2, "N%d" % i)
        book.save(path)
    elif kind == "inflating":
        head = ('<?xml version="1.0" encoding="UTF-8"?><worksheet '
                'xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><sheetData>'
                + rows())
        write_inflating(path, head + '<row><c t="inlineStr"><is><t>', 2048,
                        "</t></is></c></row></sheetData></worksheet>")
    elif kind == "far-reference":
        write_xlsx(path, sheet(rows('<row r="1000000">%s</row>' % cell("XFC1000000", "far"))))
    elif kind == "formula":
        # The name of P1 is a formula whose cached value is "N1-F".
        data = rows().replace(cell("C2", "N1"),
                              '<c r="C2" t="str"><f>B2&amp;"-F"</f><v>N1-F</v></c>')
        write_xlsx(path, sheet(data))
    else:
        sys.exit("unknown kind " + kind)


main()

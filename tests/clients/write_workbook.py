#!/usr/bin/python3
"""Writes a workbook the way other programs do, for the import tests.

    write_workbook.py xls|xlsx|xlsx-inline <file> <rows>

xls is written by xlwt, xlsx by openpyxl (shared strings), xlsx-inline by hand with in-cell
strings and cells without a position. Every flavour holds a sheet "notes" first, then the
sheet "modellist" with the columns oem_model, remark, product_code, model, extra and <rows>
data rows made by row(i) below; tests/tst_oemexchange.cpp expects exactly these values.
"""
import sys
import zipfile
from xml.sax.saxutils import escape

HEADER = ["oem_model", "remark", "product_code", "model", "extra"]


def row(i):
    """The cells of data row i: texts, ints, floats, or None for an empty cell."""
    if i % 5 == 0:
        code = 100000 + i           # typed as a number
    elif i % 5 == 1:
        code = "00%d" % i           # leading zeros kept as text
    else:
        code = "P%05d" % i
    if i % 7 == 0:
        oem = None
    elif i % 7 == 1:
        oem = i + 0.5
    elif i % 7 == 2:
        oem = "O'Brien 空调 %d" % i
    else:
        oem = " OEM-%d " % i
    remark = None if i % 3 else "remark %d" % i
    return [oem, remark, code, "M%d" % i, i * 2]


def write_xls(path, count):
    import xlwt
    book = xlwt.Workbook(encoding="utf-8")
    notes = book.add_sheet("notes")
    notes.write(0, 0, "not the model list")
    notes.write(3, 2, 42)
    sheet = book.add_sheet("modellist")
    for c, name in enumerate(HEADER):
        sheet.write(0, c, name)
    for i in range(count):
        for c, value in enumerate(row(i)):
            if value is not None:
                sheet.write(i + 1, c, value)
    book.save(path)


def write_xlsx(path, count):
    import openpyxl
    book = openpyxl.Workbook()
    notes = book.active
    notes.title = "notes"
    notes["A1"] = "not the model list"
    notes["C4"] = 42
    sheet = book.create_sheet("modellist")
    sheet.append(HEADER)
    for i in range(count):
        sheet.append(row(i))
    book.save(path)


def inline_cell(value, ref):
    attr = ' r="%s"' % ref if ref else ""
    if isinstance(value, str):
        return '<c%s t="inlineStr"><is><t xml:space="preserve">%s</t></is></c>' % (attr, escape(value))
    return "<c%s><v>%s</v></c>" % (attr, repr(value))


def column_name(c):
    return "ABCDEFGHIJ"[c]


def write_xlsx_inline(path, count):
    rows = [HEADER] + [row(i) for i in range(count)]
    body = []
    for r, cells in enumerate(rows):
        # Odd rows name each cell's position; even rows leave it out (cells follow on).
        parts = []
        for c, value in enumerate(cells):
            if value is None:
                continue
            ref = "%s%d" % (column_name(c), r + 1) if r % 2 else None
            if ref is None and any(v is None for v in cells[:c]):
                ref = "%s%d" % (column_name(c), r + 1)
            parts.append(inline_cell(value, ref))
        rattr = ' r="%d"' % (r + 1) if r % 2 else ""
        body.append("<row%s>%s</row>" % (rattr, "".join(parts)))
    main_ns = "http://schemas.openxmlformats.org/spreadsheetml/2006/main"
    rel_ns = "http://schemas.openxmlformats.org/officeDocument/2006/relationships"
    sheet_xml = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
                 '<worksheet xmlns="%s"><sheetData>%s</sheetData></worksheet>' % (main_ns, "".join(body)))
    notes_xml = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
                 '<worksheet xmlns="%s"><sheetData><row r="1"><c r="A1" t="inlineStr"><is><t>not the '
                 'model list</t></is></c></row><row r="4"><c r="C4"><v>42</v></c></row></sheetData>'
                 '</worksheet>' % main_ns)
    workbook_xml = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
                    '<workbook xmlns="%s" xmlns:r="%s"><sheets>'
                    '<sheet name="notes" sheetId="1" r:id="rId1"/>'
                    '<sheet name="modellist" sheetId="2" r:id="rId2"/>'
                    '</sheets></workbook>' % (main_ns, rel_ns))
    rels_xml = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
                '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
                '<Relationship Id="rId1" Type="%s/worksheet" Target="worksheets/notes.xml"/>'
                '<Relationship Id="rId2" Type="%s/worksheet" Target="/xl/worksheets/models.xml"/>'
                '</Relationships>' % (rel_ns, rel_ns))
    root_rels = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
                 '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
                 '<Relationship Id="rId1" Type="%s/officeDocument" Target="xl/workbook.xml"/>'
                 '</Relationships>' % rel_ns)
    sheet_type = "application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml"
    types = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
             '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
             '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
             '<Default Extension="xml" ContentType="application/xml"/>'
             '<Override PartName="/xl/workbook.xml" ContentType="application/vnd.openxmlformats-'
             'officedocument.spreadsheetml.sheet.main+xml"/>'
             '<Override PartName="/xl/worksheets/notes.xml" ContentType="%s"/>'
             '<Override PartName="/xl/worksheets/models.xml" ContentType="%s"/>'
             '</Types>' % (sheet_type, sheet_type))
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("[Content_Types].xml", types)
        z.writestr("_rels/.rels", root_rels)
        z.writestr("xl/workbook.xml", workbook_xml)
        z.writestr("xl/_rels/workbook.xml.rels", rels_xml)
        z.writestr("xl/worksheets/notes.xml", notes_xml)
        z.writestr("xl/worksheets/models.xml", sheet_xml)


def main():
    kind, path, count = sys.argv[1], sys.argv[2], int(sys.argv[3])
    {"xls": write_xls, "xlsx": write_xlsx, "xlsx-inline": write_xlsx_inline}[kind](path, count)


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Writes a workbook for the import tests: runs the Python code given with `path` (where to
write), `openpyxl`, `datetime`, and `handmade(path, sheet_rows, shared=None, styles=None)`, which
zips up the least a workbook needs around a sheet's <row> elements, to make what openpyxl does
not write (inline texts, numbers in exponent form and the like).

usage: make_workbook.py PATH CODE
"""

import datetime, sys, zipfile, openpyxl
path = sys.argv[1]
def handmade(path, sheet_rows, shared=None, styles=None):
    main = 'xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"'
    rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships"
    parts = {
        "xl/workbook.xml": f'<workbook {main} xmlns:x="{rel}"><sheets>'
                           '<sheet name="S" sheetId="1" x:id="rId1"/></sheets></workbook>',
        "xl/worksheets/sheet1.xml": f"<worksheet {main}><sheetData>{sheet_rows}"
                                    "</sheetData></worksheet>",
    }
    links = [("rId1", "worksheet", "worksheets/sheet1.xml")]
    if shared is not None:
        parts["xl/sharedStrings.xml"] = f"<sst {main}>{shared}</sst>"
        links.append(("rId2", "sharedStrings", "/xl/sharedStrings.xml"))
    if styles is not None:
        parts["xl/styles.xml"] = f"<styleSheet {main}>{styles}</styleSheet>"
        links.append(("rId3", "styles", "styles.xml"))
    parts["xl/_rels/workbook.xml.rels"] = (
        '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
        + "".join(f'<Relationship Id="{i}" Type="{rel}/{t}" Target="{p}"/>' for i, t, p in links)
        + "</Relationships>")
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        for name, text in parts.items():
            z.writestr(name, '<?xml version="1.0" encoding="UTF-8"?>' + text)


exec(sys.argv[2])

"""Rewrites a two-sheet .xlsx so its first sheet lives in sheet2.xml behind an absolute target."""
import re
import sys
import zipfile

src, out = sys.argv[1], sys.argv[2]
with zipfile.ZipFile(src) as z:
    parts = {n: z.read(n) for n in z.namelist()}
a, b = "xl/worksheets/sheet1.xml", "xl/worksheets/sheet2.xml"
parts[a], parts[b] = parts[b], parts[a]
rels = parts["xl/_rels/workbook.xml.rels"].decode()
rels = rels.replace('Target="worksheets/sheet1.xml"', 'Target="@2"').replace('Target="worksheets/sheet2.xml"', 'Target="@1"')
rels = rels.replace('Target="@2"', 'Target="/xl/worksheets/sheet2.xml"').replace('Target="@1"', 'Target="worksheets/sheet1.xml"')
parts["xl/_rels/workbook.xml.rels"] = rels.encode()
assert re.search(r'Target="/xl/worksheets/sheet2.xml"', rels)
with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as z:
    for n, d in parts.items():
        z.writestr(n, d)

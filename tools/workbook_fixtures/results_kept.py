"""Writes BOOK.xlsx as a spreadsheet program saves it after opening: without the workbook's ask
for a full recalculation on load (xlsxwriter always writes it), so the results kept with its
formulas are the ones shown. The zip layouts and broken packages are made from this one.

Usage: results_kept.py BOOK.xlsx OUT.xlsx"""
import sys
import zipfile

source, target = sys.argv[1], sys.argv[2]
with zipfile.ZipFile(source) as z, zipfile.ZipFile(target, "w", zipfile.ZIP_DEFLATED) as out:
    for name in z.namelist():
        data = z.read(name)
        if name == "xl/workbook.xml":
            assert data.count(b' fullCalcOnLoad="1"') == 1
            data = data.replace(b' fullCalcOnLoad="1"', b"")
        out.writestr(name, data)

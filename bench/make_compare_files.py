#!/usr/bin/env python3
"""Conversion-rate files for bench/compare.sh, made from the shipped security master so every
row's lookup succeeds: exchange,code,name,ratio. Fixed seed: the same bytes on every run.

usage: make_compare_files.py SECURITIES_CSV OUT_DIR
writes rates100k_utf8.csv, rates100k_gbk.csv (CRLF), rates100k.xlsx (shared strings) and
rates65k.csv (the source LibreOffice turns into rates65k.xls).
"""
import csv
import random
import sys
import zipfile
from pathlib import Path
from xml.sax.saxutils import escape

CSV_ROWS = 100000
XLS_ROWS = 65000


def load_securities(path):
    with open(path, encoding="utf-8", newline="") as f:
        rows = list(csv.reader(f))
    # The master's header is exchange,code,name.
    return [r for r in rows[1:] if len(r) >= 3]


def make_rows(securities, count, seed):
    rnd = random.Random(seed)
    rows = []
    for i in range(count):
        exchange, code, name = securities[i % len(securities)]
        ratio = rnd.randrange(0, 101) / 100.0
        rows.append((exchange, code, name, "%g" % ratio))
    return rows


def write_csv(path, rows, encoding, newline):
    text = newline.join(",".join(r) for r in rows) + newline
    path.write_bytes(text.encode(encoding))


def write_xlsx(path, rows):
    ns = 'xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"'
    rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships"
    pkg = "http://schemas.openxmlformats.org/package/2006/relationships"
    index = {}
    strings = []

    def shared(text):
        if text not in index:
            index[text] = len(index)
            strings.append("<si><t>%s</t></si>" % escape(text))
        return index[text]

    sheet = ['<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<worksheet %s><sheetData>' % ns]
    for n, (exchange, code, name, ratio) in enumerate(rows, 1):
        ids = (shared(exchange), shared(code), shared(name))
        sheet.append('<row r="%d">' % n)
        for column, sid in zip("ABC", ids):
            sheet.append('<c r="%s%d" t="s"><v>%d</v></c>' % (column, n, sid))
        sheet.append('<c r="D%d"><v>%s</v></c></row>' % (n, ratio))
    sheet.append("</sheetData></worksheet>")
    sst = '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<sst %s count="%d" uniqueCount="%d">%s</sst>' % (
        ns, 3 * len(rows), len(strings), "".join(strings))
    parts = {
        "[Content_Types].xml":
            '<?xml version="1.0" encoding="UTF-8"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
            '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
            '<Default Extension="xml" ContentType="application/xml"/>'
            '<Override PartName="/xl/workbook.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"/>'
            '<Override PartName="/xl/worksheets/sheet1.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml"/>'
            '<Override PartName="/xl/sharedStrings.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml"/>'
            '</Types>',
        "_rels/.rels":
            '<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="%s">'
            '<Relationship Id="rId1" Type="%s/officeDocument" Target="xl/workbook.xml"/></Relationships>' % (pkg, rel),
        "xl/workbook.xml":
            '<?xml version="1.0" encoding="UTF-8"?><workbook %s xmlns:r="%s"><sheets>'
            '<sheet name="rates" sheetId="1" r:id="rId1"/></sheets></workbook>' % (ns, rel),
        "xl/_rels/workbook.xml.rels":
            '<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="%s">'
            '<Relationship Id="rId1" Type="%s/worksheet" Target="worksheets/sheet1.xml"/>'
            '<Relationship Id="rId2" Type="%s/sharedStrings" Target="sharedStrings.xml"/></Relationships>' % (pkg, rel, rel),
        "xl/sharedStrings.xml": sst,
        "xl/worksheets/sheet1.xml": "".join(sheet),
    }
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        for name, data in parts.items():
            # A fixed timestamp keeps the archive's bytes the same from run to run.
            info = zipfile.ZipInfo(name, date_time=(2024, 3, 15, 0, 0, 0))
            info.compress_type = zipfile.ZIP_DEFLATED
            z.writestr(info, data.encode("utf-8"))


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    securities = load_securities(sys.argv[1])
    out = Path(sys.argv[2])
    out.mkdir(parents=True, exist_ok=True)
    rows = make_rows(securities, CSV_ROWS, 20240315)
    write_csv(out / "rates100k_utf8.csv", rows, "utf-8", "\n")
    write_csv(out / "rates100k_gbk.csv", rows, "gbk", "\r\n")
    write_xlsx(out / "rates100k.xlsx", rows)
    write_csv(out / "rates65k.csv", make_rows(securities, XLS_ROWS, 20240316), "utf-8", "\n")


if __name__ == "__main__":
    main()

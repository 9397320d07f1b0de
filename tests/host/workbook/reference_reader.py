#!/usr/bin/python3
"""The independent reader the workbook readers are held to: openpyxl for .xlsx, xlrd for .xls.

    reference_reader.py FILE...
    reference_reader.py --variants VARIANTS.json BOOK.xlsx FOLDER
    reference_reader.py --books BOOKS.json FOLDER FILE...

Prints one JSON list, an object per file: the number of sheets, the first sheet's name and
state, the sheet the workbook opens on (.xlsx), and the first sheet's cells as [row, column,
text], row and column from 1, each text as a spreadsheet shows it in General format (numbers to
15 significant digits, plain from 1E-10 to 1E+21; dates as yyyy-mm-dd with hh:mm:ss when they
have a time of day; TRUE and FALSE; errors as written). A file the reader cannot read gives
{"error": why}.

With --variants it first writes the hand-edited variants of BOOK.xlsx that VARIANTS.json lists
into FOLDER (variant0.xlsx, ...), and prints for each its name, path, the reason the readers
under test must refuse it with (empty: they must read it as the reference does) and the
reference's reading of it. The book is taken as a spreadsheet program saves it, without the
ask for a full recalculation on load xlsxwriter writes ("calc" keeps it).

Where openpyxl applies no number formats, LibreOffice headless does ("libreoffice"): each such
variant is converted to csv (cells as shown) and to .xls, and the cells named are given as it
shows them. A refused variant names its witness: what an independent reader says that makes
the value unseen or unsafe (LibreOffice showing the cell otherwise than the value stored, the row
or column hidden, the cell under a merged range, a formula without its result, two resolutions
of alternate content that differ, zipfile refusing the package).

With --books it prints for each file the same entry as for a variant, the reason to refuse and
the witness from the row of BOOKS.json naming it (a name or a pattern), if any. A row asking for
LibreOffice ("libreoffice") is held to the cells it shows (times in 24 hours, two digits each, as
far as it shows them) and to the .xls it writes.

openpyxl does not apply markup compatibility. For a variant that asks, every SpreadsheetML part
is first rewritten as a spreadsheet program applies it, by expat in namespace mode: an alternate
content becomes its first choice whose namespaces are all understood, or its fallback; an element
of a namespace not understood goes with all it holds.
"""
import datetime
import io
import json
import struct
import sys
import warnings
import xml.parsers.expat
import zipfile
from xml.sax.saxutils import escape, quoteattr

MAIN = "http://schemas.openxmlformats.org/spreadsheetml/2006/main"
MC = "http://schemas.openxmlformats.org/markup-compatibility/2006"
UNDERSTOOD = {MAIN, "http://purl.oclc.org/ooxml/spreadsheetml/main",
              "http://schemas.openxmlformats.org/officeDocument/2006/relationships",
              "http://schemas.openxmlformats.org/package/2006/relationships"}


def resolved(data, fallback_only=False):
    out, frames, bindings, dropping = [], [], [], [0]
    parser = xml.parsers.expat.ParserCreate(namespace_separator="\x01")

    def understood(prefixes):
        scope = {}
        for prefix, uri in bindings:
            scope[prefix] = uri
        return all(scope.get(p) in UNDERSTOOD for p in prefixes.split())

    def start(name, attributes):
        if dropping[0]:
            dropping[0] += 1
            return
        uri, _, local = name.rpartition("\x01")
        if frames and frames[-1][0] == "alternate":
            take = not frames[-1][1] and (local == "Fallback" or (
                local == "Choice" and not fallback_only and understood(attributes.get("Requires", ""))))
            if take:
                frames[-1][1] = True
                frames.append(["taken", ""])
            else:
                dropping[0] = 1
            return
        if uri == MC and local == "AlternateContent":
            frames.append(["alternate", False])
            return
        if uri not in UNDERSTOOD:
            dropping[0] = 1
            return
        text = "<n:%s xmlns:n=%s" % (local, quoteattr(uri))
        for i, (key, value) in enumerate(attributes.items()):
            space, _, attribute = key.rpartition("\x01")
            if not space:
                text += " %s=%s" % (attribute, quoteattr(value))
            elif space != MC:
                text += " xmlns:a%d=%s a%d:%s=%s" % (i, quoteattr(space), i, attribute, quoteattr(value))
        out.append(text + ">")
        frames.append(["kept", "</n:%s>" % local])

    def end(name):
        if dropping[0]:
            dropping[0] -= 1
            return
        frame = frames.pop()
        if frame[0] == "kept":
            out.append(frame[1])

    def text(data):
        if not dropping[0] and frames and frames[-1][0] != "alternate":
            out.append(escape(data).replace("\r", "&#13;"))

    parser.StartElementHandler, parser.EndElementHandler, parser.CharacterDataHandler = start, end, text
    parser.StartNamespaceDeclHandler = lambda prefix, uri: bindings.append((prefix or "", uri or ""))
    parser.EndNamespaceDeclHandler = lambda prefix: bindings.pop()
    parser.Parse(data, True)
    return ('<?xml version="1.0" encoding="UTF-8"?>' + "".join(out)).encode()


def with_compatibility(path, fallback_only=False):
    source, target = zipfile.ZipFile(path), io.BytesIO()
    with zipfile.ZipFile(target, "w") as out:
        for name in source.namelist():
            data = source.read(name)
            if name.endswith(".xml") and MAIN.encode() in data:
                data = resolved(data, fallback_only)
            out.writestr(name, data)
    return target


def general(number):
    if number == 0:
        return "0"
    mantissa, exponent = ("%.14e" % number).split("e")
    digits = mantissa.replace("-", "").replace(".", "").rstrip("0")
    exponent = int(exponent)
    sign = "-" if number < 0 else ""
    if -10 <= exponent <= 20:
        if exponent < 0:
            return sign + "0." + "0" * (-exponent - 1) + digits
        whole = digits[:exponent + 1].ljust(exponent + 1, "0")
        rest = digits[exponent + 1:]
        return sign + whole + ("." + rest if rest else "")
    return sign + digits[0] + ("." + digits[1:] if len(digits) > 1 else "") + "E%+03d" % exponent


def shown(value):
    if isinstance(value, bool):
        return "TRUE" if value else "FALSE"
    if isinstance(value, (int, float)):
        return general(float(value))
    if isinstance(value, datetime.datetime):
        if value.time() == datetime.time(0):
            return value.strftime("%Y-%m-%d")
        return value.strftime("%Y-%m-%d %H:%M:%S")
    if isinstance(value, datetime.date):
        return value.strftime("%Y-%m-%d")
    if isinstance(value, datetime.time):
        return value.strftime("%H:%M:%S")
    return str(value)


def read_xlsx(path, compatibility):
    import openpyxl
    book = openpyxl.load_workbook(with_compatibility(path) if compatibility else path, data_only=True)
    first = book.worksheets[0]
    # The cells the sheet holds, not its whole range: one cell at XFD1048576 is a sheet too.
    cells = [[row, column, shown(cell.value)] for (row, column), cell in sorted(first._cells.items())
             if cell.value is not None and cell.value != ""]
    formulas = openpyxl.load_workbook(with_compatibility(path) if compatibility else path).worksheets[0]
    without = sum(1 for (row, column), cell in formulas._cells.items()
                  if str(cell.value).startswith("=") and first.cell(row, column).value is None)
    return {"sheets": len(book.sheetnames), "name": first.title, "state": first.sheet_state,
            "opensOn": book.index(book.active) + 1, "cells": cells,
            "fullCalcOnLoad": bool(book.calculation and book.calculation.fullCalcOnLoad),
            "formulasWithoutResult": without}


def read_xls(path):
    import xlrd
    book = xlrd.open_workbook(path)
    first = book.sheet_by_index(0)
    cells = []
    for r in range(first.nrows):
        for c in range(first.ncols):
            cell = first.cell(r, c)
            if cell.ctype in (xlrd.XL_CELL_EMPTY, xlrd.XL_CELL_BLANK) or cell.value == "":
                continue
            if cell.ctype == xlrd.XL_CELL_DATE:
                parts = xlrd.xldate_as_tuple(cell.value, book.datemode)
                value = (datetime.time(*parts[3:]) if parts[:3] == (0, 0, 0)
                         else datetime.datetime(*parts))
            elif cell.ctype == xlrd.XL_CELL_BOOLEAN:
                value = bool(cell.value)
            elif cell.ctype == xlrd.XL_CELL_ERROR:
                value = xlrd.error_text_from_code.get(cell.value, "#?")
            else:
                value = cell.value
            cells.append([r + 1, c + 1, shown(value)])
    states = {0: "visible", 1: "hidden", 2: "veryHidden"}
    # The sheet in the workbook's window: xlrd reads it from each sheet's own window record.
    displayed = [i for i, sheet in enumerate(book.sheets()) if sheet.sheet_visible]
    return {"sheets": book.nsheets, "name": first.name, "state": states.get(first.visibility, "visible"),
            "opensOn": displayed[0] + 1 if displayed else 1, "cells": cells}


PARTS = {"sheet": "xl/worksheets/sheet1.xml", "strings": "xl/sharedStrings.xml", "book": "xl/workbook.xml",
         "rels": "xl/_rels/workbook.xml.rels", "styles": "xl/styles.xml"}
NAMESPACES = {"{main}": MAIN, "{mc}": MC,
              "{office}": "http://schemas.openxmlformats.org/officeDocument/2006/relationships"}


def cell_at(name):
    letters = name.rstrip("0123456789")
    column = 0
    for letter in letters:
        column = column * 26 + ord(letter) - 64
    return int(name[len(letters):]), column


def zip_quirk(path, kind):
    """Rewrites the package's local headers: "descriptor" gives each the data-descriptor flag,
    compressed size 0 and the true size, the descriptor after the data; "local-name" names the
    first sheet otherwise in its local header only."""
    data = bytearray(open(path, "rb").read())
    with zipfile.ZipFile(path) as z:
        infos = z.infolist()
    if kind == "local-name":
        at = data.index(b"xl/worksheets/sheet1.xml")
        data[at + 19:at + 20] = b"2"
    else:
        body, central = bytearray(), bytearray()
        for info in infos:
            start = info.header_offset
            name_length, extra_length = struct.unpack_from("<HH", data, start + 26)
            packed = bytes(data[start + 30 + name_length + extra_length:
                                start + 30 + name_length + extra_length + info.compress_size])
            raw = info.filename.encode()
            offset = len(body)
            body += struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, 0x0008, info.compress_type, 0, 0x21, 0, 0,
                                info.file_size, len(raw), 0) + raw + packed
            body += struct.pack("<IIII", 0x08074B50, info.CRC, info.compress_size, info.file_size)
            central += struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 20, 20, 0x0008, info.compress_type, 0, 0x21,
                                   info.CRC, info.compress_size, info.file_size, len(raw), 0, 0, 0, 0, 0,
                                   offset) + raw
        end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, len(infos), len(infos), len(central), len(body), 0)
        data = body + central + end
    open(path, "wb").write(bytes(data))


def witnessed(row, path, shown):
    """Whether the independent reader bears the refusal out, and what it says."""
    kind = row.get("witness", "")
    if not kind:
        return True, ""
    import openpyxl
    if kind == "zip":
        try:
            with zipfile.ZipFile(path) as z:
                z.read(PARTS["sheet"])
            return False, "zipfile read the part"
        except zipfile.BadZipFile as e:
            return True, str(e)
    if kind == "alternate":
        def first_cells(fallback_only):
            sheet = openpyxl.load_workbook(with_compatibility(path, fallback_only), data_only=True).worksheets[0]
            return {(c.row, c.column): shown_value(c.value) for r in sheet.iter_rows() for c in r
                    if c.value is not None}
        one, other = first_cells(False), first_cells(True)
        return one != other, "choice %s, fallback %s" % (sorted(one.items()), sorted(other.items()))
    book = openpyxl.load_workbook(path, data_only=False)
    sheet = book.worksheets[0]
    if kind == "sheet":
        return sheet.sheet_state != "visible", sheet.sheet_state
    if kind == "recalc":
        return bool(book.calculation.fullCalcOnLoad), "fullCalcOnLoad %s" % book.calculation.fullCalcOnLoad
    r, c = cell_at(row["cell"])
    cell = sheet.cell(r, c)
    if kind == "hidden":
        hidden = sheet.row_dimensions[r].hidden or sheet.column_dimensions[cell.column_letter].hidden
        return bool(hidden), "row or column hidden: %s" % hidden
    if kind == "merged":
        inside = [str(m) for m in sheet.merged_cells.ranges if cell.coordinate in m and
                  (m.min_row, m.min_col) != (r, c)]
        return bool(inside), "under %s" % inside
    if kind == "formula":
        value = openpyxl.load_workbook(path, data_only=True).worksheets[0].cell(r, c).value
        return value is None and str(cell.value).startswith("="), "formula %s, result %s" % (cell.value, value)
    if kind == "shown":
        stored = shown_value(cell.value)
        return shown.get(row["cell"]) != stored, "stored %s, shown %r" % (stored, shown.get(row["cell"]))
    raise SystemExit("unknown witness " + kind)


def shown_value(value):
    return shown(value) if value is not None else ""


def libreoffice(paths, folder):
    """LibreOffice's csv (cells as shown) and .xls of each path; None when it cannot run."""
    import csv
    import shutil
    import subprocess
    soffice = shutil.which("soffice")
    if not soffice or not paths:
        return None
    profile = "file://%s/lo" % folder
    base = [soffice, "--headless", "-env:UserInstallation=" + profile]
    csv_filter = "csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,true"
    subprocess.run(base + ["--convert-to", csv_filter, "--outdir", folder + "/csv"] + paths,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=600)
    subprocess.run(base + ["--convert-to", "xls", "--outdir", folder + "/xls"] + paths,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=600)
    out = {}
    for path in paths:
        stem = path.rsplit("/", 1)[-1].rsplit(".", 1)[0]
        cells = {}
        try:
            with open("%s/csv/%s.csv" % (folder, stem), encoding="utf-8", newline="") as f:
                for r, fields in enumerate(csv.reader(f), 1):
                    for c, text in enumerate(fields, 1):
                        if text:
                            column, name = c, ""
                            while column:
                                column, rest = divmod(column - 1, 26)
                                name = chr(65 + rest) + name
                            cells["%s%d" % (name, r)] = text
        except OSError:
            cells = None
        out[path] = {"shown": cells, "xls": "%s/xls/%s.xls" % (folder, stem)}
    return out


def variants(listing, book, folder):
    """Each row: a name, the reason to refuse with ("refused", none: agree), whether markup
    compatibility is applied for the reference, and the edits [part, searched, replacement]
    ([part, "@recode", a UTF-16 flavour] writes the part in it)."""
    source = zipfile.ZipFile(book)
    rows = json.load(open(listing, encoding="utf-8"))
    out, paths = [], []
    for number, row in enumerate(rows):
        parts = {name: source.read(name) for name in source.namelist()}
        edits = list(row["edits"])
        if not row.get("calc"):
            edits.insert(0, ["book", ' fullCalcOnLoad="1"', ""])
        for part, search, replacement in edits:
            for key, uri in NAMESPACES.items():
                search, replacement = search.replace(key, uri), replacement.replace(key, uri)
            name = PARTS[part]
            if search == "@recode":
                text = parts[name].decode().replace('encoding="UTF-8"', 'encoding="UTF-16"')
                parts[name] = b"\xff\xfe" + text.encode("utf-16-le") if replacement == "UTF-16LE" \
                    else b"\xfe\xff" + text.encode("utf-16-be")
            else:
                if parts[name].count(search.encode()) != 1:
                    raise SystemExit("%s: %r is not in %s once" % (row["name"], search, name))
                parts[name] = parts[name].replace(search.encode(), replacement.encode())
        path = "%s/variant%d.xlsx" % (folder, number)
        with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as out_zip:
            for name in source.namelist():
                out_zip.writestr(name, parts[name])
        if row.get("zip"):
            zip_quirk(path, row["zip"])
        paths.append(path)
    shown_by = libreoffice([p for p, r in zip(paths, rows) if r.get("libreoffice")], folder)
    for path, row in zip(paths, rows):
        entry = {"name": row["name"], "path": path, "refused": row.get("refused", ""),
                 "reading": read(path, row.get("compatibility", False))}
        if row.get("libreoffice"):
            shown_here = shown_by.get(path) if shown_by else None
            if not shown_here or shown_here["shown"] is None:
                entry["libreoffice"] = "unavailable"
            else:
                entry["libreoffice"] = {"cells": {c: normal(shown_here["shown"].get(c, ""), row.get("compare"))
                                                  for c in row.get("cells", [row.get("cell", "")])},
                                        "xls": shown_here["xls"]}
        shown_cells = shown_by.get(path, {}).get("shown") or {} if shown_by else {}
        if row.get("witness") == "shown" and not shown_cells:
            entry["witness"] = [False, "LibreOffice did not run"]
        else:
            entry["witness"] = list(witnessed(row, path, shown_cells))
        out.append(entry)
    json.dump(out, sys.stdout, ensure_ascii=False)


def normal(text, compare):
    """A date LibreOffice shows in its format's words (2024年3月15日) as yyyy-mm-dd; a time
    (1:30 PM, 2024-03-15 9:30:45.4) in 24 hours of two digits."""
    if compare == "time":
        import re
        match = re.fullmatch(r"(\d{4}-\d\d-\d\d )?(\d+):(\d\d)(:\d\d(?:\.\d+)?)?(?: ?([AP]M))?", text)
        if not match:
            return text
        day, hours, minutes, rest, half = match.groups()
        hours = int(hours) % 12 + (12 if half == "PM" else 0) if half else int(hours)
        return "%s%02d:%s%s" % (day or "", hours, minutes, rest or "")
    if compare == "date":
        import re
        numbers = [int(n) for n in re.findall(r"\d+", text)][:3]
        if len(numbers) < 3:
            return text
        year, month, day = numbers if numbers[0] >= 1000 else (numbers[2], numbers[0], numbers[1])
        return "%04d-%02d-%02d" % (year, month, day)
    return text


def book_witness(row, reading, seen):
    """Whether the reference's reading of a real writer's book bears its refusal out."""
    kind, cell = row.get("witness", ""), row.get("cell", "")
    if kind in ("shown", "cut") and seen is None:
        return False, "LibreOffice did not run"
    at = cell_at(cell) if cell else None
    read_text = next((c[2] for c in reading.get("cells", []) if at and (c[0], c[1]) == at), "")
    shown_text = (seen or {}).get(cell, "")
    borne = {"formulas": lambda: reading.get("formulasWithoutResult", 0) > 0,
             "recalc": lambda: reading.get("fullCalcOnLoad", False),
             "state": lambda: reading.get("state") != "visible",
             "encrypted": lambda: "ncrypt" in reading.get("error", "") or "zip file" in reading.get("error", ""),
             # LibreOffice shows the cell otherwise than the value read
             "shown": lambda: shown_text != read_text,
             # LibreOffice shows the day's last second of a time that rounds to midnight
             "cut": lambda: shown_text == "23:59:59"}[kind]()
    return borne, "LibreOffice shows %s %r; %s" % (cell, shown_text, json.dumps(reading, ensure_ascii=False)[:300])


def books(listing, folder, paths):
    import fnmatch
    rows = json.load(open(listing, encoding="utf-8"))
    row_of = {p: next((r for r in rows if fnmatch.fnmatch(p.rsplit("/", 1)[-1], r["file"])), {}) for p in paths}
    asked = [p for p in paths if row_of[p].get("libreoffice") or row_of[p].get("witness") in ("shown", "cut")]
    shown_by = libreoffice(asked, folder) or {}
    out = []
    for path in paths:
        row, reading = row_of[path], read(path, False)
        seen = shown_by.get(path, {}).get("shown")
        entry = {"name": path.rsplit("/", 1)[-1], "path": path, "refused": row.get("refused", ""),
                 "reading": reading, "witness": list(book_witness(row, reading, seen)) if row.get("refused")
                 else [True, ""]}
        if row.get("libreoffice"):
            entry["libreoffice"] = {"cells": {c: normal(t, "time") for c, t in seen.items()},
                                    "xls": shown_by[path]["xls"]} if seen else "unavailable"
        out.append(entry)
    json.dump(out, sys.stdout, ensure_ascii=False)


def read(path, compatibility):
    try:
        return read_xls(path) if path.lower().endswith(".xls") else read_xlsx(path, compatibility)
    except Exception as e:  # the reader's refusal, whatever it is
        return {"error": "%s: %s" % (type(e).__name__, e)}


def main():
    warnings.simplefilter("ignore")
    if sys.argv[1:2] == ["--variants"]:
        variants(*sys.argv[2:5])
        return
    if sys.argv[1:2] == ["--books"]:
        books(sys.argv[2], sys.argv[3], sys.argv[4:])
        return
    out = []
    for path in sys.argv[1:]:
        out.append(read(path, False))
    json.dump(out, sys.stdout, ensure_ascii=False)


main()

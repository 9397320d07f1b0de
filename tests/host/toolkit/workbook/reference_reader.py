#!/usr/bin/python3
"""The independent reader the workbook readers are held to: openpyxl for .xlsx, xlrd for .xls.

    reference_reader.py FILE...
    reference_reader.py --variants VARIANTS.json BOOK.xlsx FOLDER

Prints one JSON list, an object per file: the number of sheets, the first sheet's name and
state, the sheet the workbook opens on (.xlsx), and the first sheet's cells as [row, column,
text], row and column from 1, each text as a spreadsheet shows it in General format (numbers to
15 significant digits, plain from 1E-10 to 1E+21; dates as yyyy-mm-dd with hh:mm:ss when they
have a time of day; TRUE and FALSE; errors as written). A file the reader cannot read gives
{"error": why}.

With --variants it first writes the hand-edited variants of BOOK.xlsx that VARIANTS.json lists
into FOLDER (variant0.xlsx, ...), and prints for each its name, path, the reason the readers
under test must refuse it with (empty: they must read it as the reference does) and the
reference's reading of it.

openpyxl does not apply markup compatibility. For a variant that asks, every SpreadsheetML part
is first rewritten as a spreadsheet program applies it, by expat in namespace mode: an alternate
content becomes its first choice whose namespaces are all understood, or its fallback; an element
of a namespace not understood goes with all it holds.
"""
import datetime
import io
import json
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


def resolved(data):
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
                local == "Choice" and understood(attributes.get("Requires", ""))))
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


def with_compatibility(path):
    source, target = zipfile.ZipFile(path), io.BytesIO()
    with zipfile.ZipFile(target, "w") as out:
        for name in source.namelist():
            data = source.read(name)
            if name.endswith(".xml") and MAIN.encode() in data:
                data = resolved(data)
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
    return {"sheets": len(book.sheetnames), "name": first.title, "state": first.sheet_state,
            "opensOn": book.index(book.active) + 1, "cells": cells}


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
    return {"sheets": book.nsheets, "name": first.name, "state": states.get(first.visibility, "visible"),
            "cells": cells}


PARTS = {"sheet": "xl/worksheets/sheet1.xml", "strings": "xl/sharedStrings.xml", "book": "xl/workbook.xml",
         "rels": "xl/_rels/workbook.xml.rels"}
NAMESPACES = {"{main}": MAIN, "{mc}": MC,
              "{office}": "http://schemas.openxmlformats.org/officeDocument/2006/relationships"}


def variants(listing, book, folder):
    """Each row: a name, the reason to refuse with ("refused", none: agree), whether markup
    compatibility is applied for the reference, and the edits [part, searched, replacement]
    ([part, "@recode", a UTF-16 flavour] writes the part in it)."""
    source = zipfile.ZipFile(book)
    rows = json.load(open(listing, encoding="utf-8"))
    out = []
    for number, row in enumerate(rows):
        parts = {name: source.read(name) for name in source.namelist()}
        for part, search, replacement in row["edits"]:
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
        out.append({"name": row["name"], "path": path, "refused": row.get("refused", ""),
                    "reading": read(path, row.get("compatibility", False))})
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
    out = []
    for path in sys.argv[1:]:
        out.append(read(path, False))
    json.dump(out, sys.stdout, ensure_ascii=False)


main()

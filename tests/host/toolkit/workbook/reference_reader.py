#!/usr/bin/python3
"""The independent reader the workbook readers are held to: openpyxl for .xlsx, xlrd for .xls.

    reference_reader.py FILE...

Prints one JSON list, an object per file: the number of sheets, the first sheet's name and
state, the sheet the workbook opens on (.xlsx), and the first sheet's cells as [row, column,
value], row and column from 1; a number as {"number": value}, anything else as the text a
spreadsheet shows in General format (dates as yyyy-mm-dd, with hh:mm:ss when they have a time
of day; TRUE and FALSE; errors as written). A file the reader cannot read gives {"error": why}.
"""
import datetime
import json
import sys
import warnings


def shown(value):
    if isinstance(value, bool):
        return "TRUE" if value else "FALSE"
    if isinstance(value, (int, float)):
        return {"number": float(value)}
    if isinstance(value, datetime.datetime):
        if value.time() == datetime.time(0):
            return value.strftime("%Y-%m-%d")
        return value.strftime("%Y-%m-%d %H:%M:%S")
    if isinstance(value, datetime.date):
        return value.strftime("%Y-%m-%d")
    if isinstance(value, datetime.time):
        return value.strftime("%H:%M:%S")
    if isinstance(value, datetime.timedelta):
        seconds = int(round(value.total_seconds()))
        return "%02d:%02d:%02d" % (seconds // 3600, seconds // 60 % 60, seconds % 60)
    return str(value)


def read_xlsx(path):
    import openpyxl
    book = openpyxl.load_workbook(path, data_only=True)
    first = book.worksheets[0]
    cells = []
    # The cells the sheet holds, not its whole range: one cell at XFD1048576 is a sheet too.
    for (row, column), cell in sorted(first._cells.items()):
        if cell.value is not None and cell.value != "":
            cells.append([row, column, shown(cell.value)])
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
            if cell.ctype in (xlrd.XL_CELL_EMPTY, xlrd.XL_CELL_BLANK):
                continue
            if cell.ctype == xlrd.XL_CELL_TEXT:
                value = cell.value
                if value == "":
                    continue
            elif cell.ctype == xlrd.XL_CELL_NUMBER:
                value = {"number": float(cell.value)}
            elif cell.ctype == xlrd.XL_CELL_DATE:
                y, m, d, hh, mm, ss = xlrd.xldate_as_tuple(cell.value, book.datemode)
                if (y, m, d) == (0, 0, 0):
                    value = "%02d:%02d:%02d" % (hh, mm, ss)
                elif (hh, mm, ss) == (0, 0, 0):
                    value = "%04d-%02d-%02d" % (y, m, d)
                else:
                    value = "%04d-%02d-%02d %02d:%02d:%02d" % (y, m, d, hh, mm, ss)
            elif cell.ctype == xlrd.XL_CELL_BOOLEAN:
                value = "TRUE" if cell.value else "FALSE"
            else:
                value = xlrd.error_text_from_code.get(cell.value, "#?")
            cells.append([r + 1, c + 1, value])
    states = {0: "visible", 1: "hidden", 2: "veryHidden"}
    return {"sheets": book.nsheets, "name": first.name, "state": states.get(first.visibility, "visible"),
            "cells": cells}


def main():
    warnings.simplefilter("ignore")
    out = []
    for path in sys.argv[1:]:
        try:
            out.append(read_xls(path) if path.lower().endswith(".xls") else read_xlsx(path))
        except Exception as e:  # the reader's refusal, whatever it is
            out.append({"error": "%s: %s" % (type(e).__name__, e)})
    json.dump(out, sys.stdout, ensure_ascii=False)


main()

"""Writes the variants the Python writers offer of one small book, and books of times of day.

    variant_books.py FOLDER

xlsxwriter in its default mode (shared strings), in constant_memory mode (inline strings) and
with the 1904 date system; openpyxl in write-only mode and with the 1904 system; xlwt with the
1904 system. times_*.xlsx and times_xlwt.xls hold a time of day under each kind of format, to be
read as LibreOffice shows them; dayzero.xlsx a time of day under a date format and
before_midnight.xlsx a time a spreadsheet program rounds up to 00:00:00 and another cuts
(make_workbook_fixtures.sh converts them to .xls with LibreOffice)."""
import datetime
import sys

import openpyxl
import xlsxwriter
import xlwt
from openpyxl.utils.datetime import CALENDAR_MAC_1904

out = sys.argv[1]
ROWS = [["交易所", "代码", "名称", "折算率", "日期", "标志"],
        ["SH", "600000", "浦发银行", 0.7, datetime.datetime(2024, 3, 15), True],
        ["SZ", "000001", "平安银行", 0.55, datetime.datetime(2024, 3, 15, 13, 45, 30), False]]
DATE, STAMP = "yyyy-mm-dd", "yyyy-mm-dd hh:mm:ss"

# label, value (a day fraction or a serial of the 1900 system), format
TIMES = [
    ("h:mm", 0.5625, "h:mm"),
    ("hh:mm:ss", 0.5630208333333333, "hh:mm:ss"),
    ("AM/PM", 0.5630208333333333, "h:mm AM/PM"),
    ("AM/PM morning", 0.3958333333333333, "hh:mm:ss AM/PM"),
    ("date and time", 45366.56302083333, STAMP),
    ("fraction of a second", 0.563025462962963, "hh:mm:ss.000"),
    ("tenths", 45366.563025462962963, "yyyy-mm-dd hh:mm:ss.0"),
    ("elapsed", 10.632060185185185, "[h]:mm:ss"),
    ("before the next day", 45366.9999999, STAMP),
    ("a date and time past a day, time only", 45366.5625, "hh:mm"),
]


def xlsxwriter_book(path, **options):
    wb = xlsxwriter.Workbook(path, options)
    ws = wb.add_worksheet("Rates")
    date, stamp = wb.add_format({"num_format": DATE}), wb.add_format({"num_format": STAMP})
    for r, row in enumerate(ROWS):
        for c, value in enumerate(row):
            if isinstance(value, datetime.datetime):
                ws.write_datetime(r, c, value, stamp if value.hour else date)
            else:
                ws.write(r, c, value)
    wb.add_worksheet("Other").write(0, 0, "must not be read")
    wb.close()


def openpyxl_book(path, write_only=False, epoch=None):
    wb = openpyxl.Workbook(write_only=write_only)
    if epoch:
        wb.epoch = epoch
    ws = wb.create_sheet("Rates") if write_only else wb.active
    ws.title = "Rates"
    for row in ROWS:
        if write_only:
            cells = []
            for value in row:
                cell = openpyxl.cell.WriteOnlyCell(ws, value=value)
                if isinstance(value, datetime.datetime):
                    cell.number_format = STAMP if value.hour else DATE
                cells.append(cell)
            ws.append(cells)
        else:
            ws.append(row)
    if not write_only:
        ws["E2"].number_format, ws["E3"].number_format = DATE, STAMP
    wb.create_sheet("Other").append(["must not be read"])
    wb.save(path)


def xlwt_book(path, dates_1904=False):
    wb = xlwt.Workbook(encoding="utf-8")
    wb.dates_1904 = dates_1904
    ws = wb.add_sheet("Rates")
    styles = {DATE: xlwt.easyxf(num_format_str=DATE), STAMP: xlwt.easyxf(num_format_str=STAMP)}
    for r, row in enumerate(ROWS):
        for c, value in enumerate(row):
            if isinstance(value, datetime.datetime):
                ws.write(r, c, value, styles[STAMP if value.hour else DATE])
            else:
                ws.write(r, c, value)
    wb.add_sheet("Other").write(0, 0, "must not be read")
    wb.save(path)


def times_xlsxwriter(path):
    wb = xlsxwriter.Workbook(path)
    ws = wb.add_worksheet("Times")
    for r, (label, value, code) in enumerate(TIMES):
        ws.write_string(r, 0, label)
        ws.write_number(r, 1, value, wb.add_format({"num_format": code}))
    wb.close()


def times_openpyxl(path):
    wb = openpyxl.Workbook()
    ws = wb.active
    ws.title = "Times"
    for r, (label, value, code) in enumerate(TIMES, 1):
        ws.cell(r, 1, label)
        ws.cell(r, 2, value).number_format = code
    wb.save(path)


def times_xlwt(path):
    wb = xlwt.Workbook(encoding="utf-8")
    ws = wb.add_sheet("Times")
    for r, (label, value, code) in enumerate(TIMES):
        ws.write(r, 0, label)
        ws.write(r, 1, value, xlwt.easyxf(num_format_str=code))
    wb.save(path)


def one_time(path, label, value, code):
    wb = xlsxwriter.Workbook(path)
    ws = wb.add_worksheet("Times")
    ws.write_string(0, 0, label)
    ws.write_number(0, 1, value, wb.add_format({"num_format": code}))
    wb.close()


xlsxwriter_book(out + "/xlsxwriter_shared.xlsx")
xlsxwriter_book(out + "/xlsxwriter_constant_memory.xlsx", constant_memory=True)
xlsxwriter_book(out + "/xlsxwriter_1904.xlsx", date_1904=True)
openpyxl_book(out + "/openpyxl_write_only.xlsx", write_only=True)
openpyxl_book(out + "/openpyxl_1904.xlsx", epoch=CALENDAR_MAC_1904)
xlwt_book(out + "/xlwt_1904.xls", dates_1904=True)
times_xlsxwriter(out + "/times_xlsxwriter.xlsx")
times_openpyxl(out + "/times_openpyxl.xlsx")
times_xlwt(out + "/times_xlwt.xls")
one_time(out + "/dayzero.xlsx", "a time under a date", 0.5625, "yyyy-mm-dd hh:mm")
one_time(out + "/before_midnight.xlsx", "before midnight", 0.9999999, "hh:mm:ss")

"""Writes openpyxl workbooks: shared strings, dates, percent, errors, a range not at A1."""
import datetime
import sys

from openpyxl import Workbook

out = sys.argv[1]

wb = Workbook()
ws = wb.active
ws.title = "折算率"
ws["B3"] = "交易所"
ws["C3"] = "代码"
ws["D3"] = "名称"
ws["E3"] = "折算率"
ws["F3"] = "日期"
ws["G3"] = "标志"
ws.append([])
rows = [
    ("SH", "000001", "平安银行", 0.7, datetime.date(2024, 3, 15), True),
    ("SZ", 600000, "浦发银行", 0.1 + 0.2,
     datetime.datetime(2024, 3, 15, 13, 45, 30), False),
    None,
    ("SH", 123456789012345678, "中国 石化", 0.7, datetime.datetime(2024, 1, 2), "#N/A"),
    ("SZ", 1, None, 12.5, None, "#DIV/0!"),
]
r = 4
for row in rows:
    if row is not None:
        for i, v in enumerate(row):
            if v is not None:
                ws.cell(row=r, column=2 + i, value=v)
    r += 1
ws["E7"].number_format = "0%"
ws["F4"].number_format = "yyyy/m/d"
ws["F5"].number_format = "yyyy-mm-dd hh:mm:ss"
ws["F7"].number_format = "yyyy-mm-dd hh:mm"
ws["F8"] = datetime.time(9, 30)
ws["F8"].number_format = "hh:mm"
other = wb.create_sheet("Other")
other["A1"] = "must not be read"
wb.save(out)

"""Writes a legacy BIFF8 .xls with xlwt: text codes, numbers, dates, booleans, errors.

xlwt stores a formula without its result (an empty text): such a cell has nothing to show."""
import datetime
import sys

import xlwt

out = sys.argv[1]
wb = xlwt.Workbook(encoding="utf-8")
ws = wb.add_sheet("折算率")
date = xlwt.easyxf(num_format_str="yyyy-mm-dd")
stamp = xlwt.easyxf(num_format_str="yyyy-mm-dd hh:mm:ss")
pct = xlwt.easyxf(num_format_str="0%")
for c, v in enumerate(["交易所", "代码", "名称", "折算率", "日期"]):
    ws.write(0, c, v)
ws.write(1, 0, "SH"); ws.write(1, 1, "000001"); ws.write(1, 2, "平安银行"); ws.write(1, 3, 0.7, pct)
ws.write(1, 4, datetime.date(2024, 3, 15), date)
ws.write(2, 0, "SZ"); ws.write(2, 1, 600000); ws.write(2, 2, "浦发银行"); ws.write(2, 3, 0.1 + 0.2)
ws.write(2, 4, datetime.datetime(2024, 3, 15, 13, 45, 30), stamp)
ws.write(4, 0, "SH"); ws.write(4, 1, 123456789012345678); ws.write(4, 3, True); ws.write(4, 4, 12.5)
# By code: xlwt's own table of error names is wrong for some.
for c, code in enumerate([0x00, 0x07, 0x0F, 0x17, 0x1D]):
    ws.row(5).set_cell_error(c, code)
ws.row(6).set_cell_error(0, 0x24)
ws.row(6).set_cell_error(1, 0x2A)
ws.write(6, 2, False)
ws.write(6, 3, xlwt.Formula("0.7"))
ws.write(6, 4, xlwt.Formula("A1&B1"))
wb.add_sheet("Other").write(0, 0, "must not be read")
wb.save(out)

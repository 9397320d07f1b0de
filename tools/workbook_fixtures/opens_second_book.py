"""Writes an openpyxl workbook of two visible sheets that opens on its second: the sheet read is
the first, and the report says which one a spreadsheet program shows."""
import sys

from openpyxl import Workbook

out = sys.argv[1]
wb = Workbook()
rates = wb.active
rates.title = "折算率"
rates.append(["SH", "600000", "浦发银行", 0.7])
rates.append(["SZ", "000001", "平安银行", 0.65])
notes = wb.create_sheet("说明")
notes.append(["本表为折算率"])
wb.active = 1
wb.save(out)

"""Writes an openpyxl workbook whose first sheet is hidden, which opens on its second sheet and
whose third is very hidden: the sheet read is still the first in workbook order."""
import sys

from openpyxl import Workbook

out = sys.argv[1]
wb = Workbook()
first = wb.active
first.title = "旧折算率"
first.append(["交易所", "证券代码", "证券名称", "折算率"])
first.append(["SH", "600000", "浦发银行", 0.5])
first.sheet_state = "hidden"
shown = wb.create_sheet("折算率")
shown.append(["交易所", "证券代码", "证券名称", "折算率"])
shown.append(["SH", "600000", "浦发银行", 0.7])
wb.create_sheet("宏").sheet_state = "veryHidden"
wb.active = 1
wb.save(out)

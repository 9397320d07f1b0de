"""Writes a conversion-rate sheet whose values come from formulas, booleans and errors.

openpyxl stores no cached results; LibreOffice computes them when it converts the book."""
import sys

from openpyxl import Workbook

out = sys.argv[1]
wb = Workbook()
ws = wb.active
ws.title = "折算率"
ws.append(["交易所", "代码", "名称", "折算率", "日期", "标志", "错误"])
ws.append(["SH", "000001", '="平安"&"银行"', "=0.7", "=DATE(2024,3,15)", "=TRUE()", "=1/0"])
ws.append(["SZ", 600000, "浦发银行", "=B3/1000000*0.5", "=DATE(2024,3,15)+TIME(13,45,30)", "=1>2", "=NA()"])
ws.append(["SH", '=TEXT(1,"000000")', '=""', "=0.1+0.2", None, True, "#N/A"])
ws.append(["SZ", "=B3*1", "=REPT(\"平安\",3000)", "=SQRT(-1)", '="a"+1', False, "=A1:A2 B3:B4"])
ws.append(["SH", "=ROW()", '=REPT("ab",5000)', "=1E-12*3", "=FOOBAR()", "=INDIRECT(\"ZZ0\")", "#DIV/0!"])
ws.append(["#NULL!", "#NUM!", "#NAME?", "#VALUE!", "#REF!", "=EXP(1000)", "中国石化" * 2500])
ws["E2"].number_format = "yyyy-mm-dd"
ws["E3"].number_format = "yyyy-mm-dd hh:mm:ss"
# An empty text result far out: no value, so no part of the used range.
ws["J9"] = '=""'
wb.create_sheet("Other")["A1"] = "=1+1"
wb.save(out)

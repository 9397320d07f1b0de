"""Writes xlsxwriter workbooks: formulas with cached values, rich strings, booleans, errors."""
import datetime
import sys

import xlsxwriter

out, kind = sys.argv[1], sys.argv[2]
wb = xlsxwriter.Workbook(out)
ws = wb.add_worksheet("Rates")
if kind == "main":
    bold = wb.add_format({"bold": True})
    pct = wb.add_format({"num_format": "0.00%"})
    date = wb.add_format({"num_format": "yyyy-mm-dd"})
    ws.write_row(0, 0, ["exchange", "code", "name", "ratio", "when", "ok"])
    ws.write_string(1, 0, "SH")
    ws.write_string(1, 1, "600000")
    ws.write_rich_string(1, 2, "浦发", bold, "银行")
    ws.write_number(1, 3, 0.7, pct)
    ws.write_datetime(1, 4, datetime.datetime(2024, 3, 15), date)
    ws.write_boolean(1, 5, True)
    ws.write_string(2, 0, "SZ")
    ws.write_number(2, 1, 1)
    ws.write_formula(2, 2, '="平安"&"银行"', None, "平安银行")
    ws.write_formula(2, 3, "=0.1+0.2", None, 0.30000000000000004)
    ws.write_formula(2, 4, "=1/0", None, "#DIV/0!")
    ws.write_formula(2, 5, "=1>2", None, False)
    # row 4 left blank inside the range
    ws.write_number(4, 0, 600000)
    ws.write_number(4, 1, 123456789012345678)
    ws.write_number(4, 3, 1e-12)
    ws.write_number(4, 5, -2.5e30)
    wb.add_worksheet("Second").write(0, 0, "must not be read")
elif kind == "wrapped":
    # A header wrapped with Alt+Enter, a name holding a comma and one holding a tab.
    wrap = wb.add_format({"text_wrap": True})
    ws.write_row(0, 0, ["交易所", "证券代码", "证券名称"])
    ws.write_string(0, 3, "折算\n比例", wrap)
    ws.write_row(1, 0, ["SH", "600009", "上海机场,0.9"])
    ws.write_number(1, 3, 0.55)
    ws.write_row(2, 0, ["SH", "600000", "浦发\t银行"])
    ws.write_number(2, 3, 0.7)
elif kind == "linebreak":
    ws.write_row(0, 0, ["code", "note"])
    ws.write_row(1, 0, ["000001", "tab\there"])
    ws.write_row(2, 0, ["000002", "two\nlines"])
wb.close()

"""Writes a flat OpenDocument spreadsheet of conversion rates for LibreOffice to save as .xls and
.xlsx: plain, or with its structure protected and no password (LibreOffice then encrypts the
.xls with the default password, as Excel does). Enough rows, some Chinese names and a formula,
that the encrypted stream spans several 1024-byte blocks and a continued string table.

Usage: protected_book.py OUT.fods [protected]"""
import sys

out = sys.argv[1]
protected = len(sys.argv) > 2 and sys.argv[2] == "protected"
names = ["浦发银行", "平安银行", "万科Ａ", "上海机场", "贵州茅台", "招商银行", "中国平安", "格力电器"]
rows = [("交易所", "证券代码", "证券简称", "折算率")]
for i in range(120):
    exchange = "SH" if i % 2 == 0 else "SZ"
    code = "%06d" % ((600000 if exchange == "SH" else 1) + i)
    rows.append((exchange, code, names[i % len(names)] + str(i), round(0.05 * (i % 15) + 0.1, 2)))


def cell(value):
    if isinstance(value, float):
        return ('<table:table-cell office:value-type="float" office:value="%r"><text:p>%r</text:p>'
                '</table:table-cell>' % (value, value))
    return '<table:table-cell office:value-type="string"><text:p>%s</text:p></table:table-cell>' % value


body = "".join("<table:table-row>%s</table:table-row>" % "".join(cell(v) for v in row) for row in rows)
# The last line's ratio is a formula: its cached result is what a spreadsheet shows.
body += ('<table:table-row><table:table-cell office:value-type="string"><text:p>SH</text:p></table:table-cell>'
         '<table:table-cell office:value-type="string"><text:p>601999</text:p></table:table-cell>'
         '<table:table-cell office:value-type="string"><text:p>公式行</text:p></table:table-cell>'
         '<table:table-cell table:formula="of:=[.D2]+[.D3]" office:value-type="float" office:value="0.25">'
         '<text:p>0.25</text:p></table:table-cell></table:table-row>')
with open(out, "w", encoding="utf-8") as f:
    f.write('<?xml version="1.0" encoding="UTF-8"?>\n<office:document '
            'xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" '
            'xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" '
            'xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" '
            'xmlns:of="urn:oasis:names:tc:opendocument:xmlns:of:1.2" office:version="1.2" '
            'office:mimetype="application/vnd.oasis.opendocument.spreadsheet"><office:body>'
            '<office:spreadsheet%s><table:table table:name="折算率">%s</table:table>'
            '<table:table table:name="说明"><table:table-row>%s</table:table-row></table:table>'
            '</office:spreadsheet></office:body></office:document>\n'
            % (' table:structure-protected="true"' if protected else "", body, cell("默认密码加密")))

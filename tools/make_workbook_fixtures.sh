#!/usr/bin/env bash
# Rebuilds the workbook fixtures of tests/host/workbook/data/ with real writers:
# openpyxl, xlsxwriter, xlwt, SheetJS, ExcelJS and LibreOffice, and the .xls files none of them
# writes (BIFF5, split records, broken documents) by xls_books.py. The generated files are committed;
# run this by hand after changing a writer script. Node packages go to a temporary folder.
set -euo pipefail
cd "$(dirname "$0")/.."
here=tools/workbook_fixtures
out=tests/host/workbook/data
py=/usr/bin/python3
mkdir -p "$out"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

apt_need=()
for p in python3-openpyxl python3-xlsxwriter python3-xlwt libreoffice-calc-nogui; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || apt_need+=("$p")
done
if [ ${#apt_need[@]} -gt 0 ]; then
  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${apt_need[@]}"
fi

command -v npm >/dev/null || { echo "npm is needed (Debian: apt-get install npm)" >&2; exit 1; }

$py $here/openpyxl_book.py "$out/openpyxl.xlsx"
$py $here/xlsxwriter_book.py "$out/xlsxwriter.xlsx" main
$py $here/xlsxwriter_book.py "$out/linebreak.xlsx" linebreak
$py $here/xlsxwriter_book.py "$out/wrapped.xlsx" wrapped
$py $here/sheets_book.py "$out/sheets.xlsx"
$py $here/opens_second_book.py "$out/opens_second.xlsx"
$py $here/xlwt_book.py "$out/xlwt.xls"
$py $here/reorder_sheets.py "$out/xlsxwriter.xlsx" "$out/reordered.xlsx"

(cd "$tmp" && npm install --silent --no-audit --no-fund xlsx exceljs >/dev/null)
NODE_PATH="$tmp/node_modules" node $here/sheetjs_book.js "$out/sheetjs.xlsx" inline
NODE_PATH="$tmp/node_modules" node $here/sheetjs_book.js "$out/sheetjs_sst.xlsx" sst
NODE_PATH="$tmp/node_modules" node $here/exceljs_book.js "$out/exceljs.xlsx"
NODE_PATH="$tmp/node_modules" node $here/variant_books.js "$out"

# LibreOffice stores cached values and writes the legacy format. Told to recalculate on load, it
# computes the formulas openpyxl leaves without results and never keeps a stale cached value.
lo="soffice --headless -env:UserInstallation=file://$tmp/lo"
mkdir -p "$tmp/lo/user"
cat > "$tmp/lo/user/registrymodifications.xcu" <<'XCU'
<?xml version="1.0" encoding="UTF-8"?>
<oor:items xmlns:oor="http://openoffice.org/2001/registry" xmlns:xs="http://www.w3.org/2001/XMLSchema" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">
<item oor:path="/org.openoffice.Office.Calc/Formula/Load"><prop oor:name="OOXMLRecalcMode" oor:op="fuse"><value>0</value></prop></item>
<item oor:path="/org.openoffice.Office.Calc/Formula/Load"><prop oor:name="ODFRecalcMode" oor:op="fuse"><value>0</value></prop></item>
</oor:items>
XCU
cp "$out/openpyxl.xlsx" "$tmp/libreoffice.xlsx"
$lo --convert-to xls --outdir "$tmp/xls" "$tmp/libreoffice.xlsx" >/dev/null
$lo --convert-to xlsx --outdir "$tmp/xlsx" "$tmp/libreoffice.xlsx" >/dev/null
cp "$tmp/xls/libreoffice.xls" "$out/libreoffice.xls"
cp "$tmp/xlsx/libreoffice.xlsx" "$out/libreoffice.xlsx"
cp "$out/linebreak.xlsx" "$tmp/linebreak.xlsx"
$lo --convert-to xls --outdir "$tmp/xls" "$tmp/linebreak.xlsx" >/dev/null
cp "$tmp/xls/linebreak.xls" "$out/linebreak.xls"
for book in wrapped sheets opens_second; do
  cp "$out/$book.xlsx" "$tmp/$book.xlsx"
  $lo --convert-to xls --outdir "$tmp/xls" "$tmp/$book.xlsx" >/dev/null
  cp "$tmp/xls/$book.xls" "$out/$book.xls"
done
cp "$out/xlsxwriter.xlsx" "$tmp/xlsxwriter.xlsx"
$lo --convert-to xls --outdir "$tmp/xls" "$tmp/xlsxwriter.xlsx" >/dev/null
cp "$tmp/xls/xlsxwriter.xls" "$out/xlsxwriter_libreoffice.xls"
# Each writer's variants and times; LibreOffice's own of the times, and the .xls of the books
# refused for a time.
$py $here/variant_books.py "$out"
cp "$out/times_xlsxwriter.xlsx" "$tmp/times_libreoffice.xlsx"
for book in dayzero before_midnight; do cp "$out/$book.xlsx" "$tmp/$book.xlsx"; done
$lo --convert-to xls --outdir "$tmp/xls" "$tmp/times_libreoffice.xlsx" "$tmp/dayzero.xlsx" \
  "$tmp/before_midnight.xlsx" >/dev/null
$lo --convert-to xlsx --outdir "$tmp/xlsx" "$tmp/times_libreoffice.xlsx" >/dev/null
for book in times_libreoffice dayzero before_midnight; do cp "$tmp/xls/$book.xls" "$out/"; done
cp "$tmp/xlsx/times_libreoffice.xlsx" "$out/"
# Formulas, booleans and errors: the same book as .xls and as .xlsx, both with LibreOffice's results.
$py $here/formulas_book.py "$tmp/formulas.xlsx"
cp "$tmp/formulas.xlsx" "$out/openpyxl_formulas.xlsx"
$lo --convert-to xls --outdir "$tmp/xls" "$tmp/formulas.xlsx" >/dev/null
$lo --convert-to xlsx --outdir "$tmp/xlsx" "$tmp/formulas.xlsx" >/dev/null
cp "$tmp/xls/formulas.xls" "$out/formulas.xls"
cp "$tmp/xlsx/formulas.xlsx" "$out/formulas.xlsx"
head -c 20000 "$out/formulas.xls" > "$out/hostile_cut.xls"

# The packagings are of the book as a spreadsheet program saved it, its formulas' results kept.
$py $here/results_kept.py "$out/xlsxwriter.xlsx" "$tmp/kept.xlsx"
$py $here/hostile_books.py "$tmp/kept.xlsx" "$out"
$py $here/zip_books.py "$tmp/kept.xlsx" "$out"
$py $here/xls_books.py "$out"

# Encrypted with the default password: LibreOffice encrypts a structure-protected book's .xls with
# RC4; the other kinds are made from its plain .xls and .xlsx by encrypted_books.py, which also
# encrypts two hostile packages as they are.
enc="$out/encrypted"
mkdir -p "$enc" "$tmp/enc"
$py $here/protected_book.py "$tmp/enc/plain.fods"
$py $here/protected_book.py "$tmp/enc/rc4.fods" protected
$lo --convert-to xls --outdir "$tmp/enc" "$tmp/enc/plain.fods" "$tmp/enc/rc4.fods" >/dev/null
$lo --convert-to xlsx --outdir "$tmp/enc" "$tmp/enc/plain.fods" >/dev/null
cp "$tmp/enc/plain.xls" "$tmp/enc/plain.xlsx" "$tmp/enc/rc4.xls" "$enc/"
$py $here/encrypted_books.py "$enc/plain.xls" "$enc/plain.xlsx" "$enc" "$out/hostile_pastend.xlsx" \
  "$out/hostile_entities.xlsx"
ls -l "$out"

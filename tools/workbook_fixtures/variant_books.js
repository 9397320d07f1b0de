// Writes the variants SheetJS and ExcelJS offer of one small book: SheetJS with dates as date
// cells (cellDates), with the 1904 date system and as BIFF8 .xls; ExcelJS's streaming writer,
// with shared strings and without, and its normal writer with the 1904 system; and a book of
// times of day for each (read as LibreOffice shows them).
const XLSX = require("xlsx");
const ExcelJS = require("exceljs");
const [out] = process.argv.slice(2);

const day = new Date(Date.UTC(2024, 2, 15)), stamp = new Date(Date.UTC(2024, 2, 15, 13, 45, 30));
const rows = [["交易所", "代码", "名称", "折算率", "日期", "标志"], ["SH", "600000", "浦发银行", 0.7, day, true],
              ["SZ", "000001", "平安银行", 0.55, stamp, false]];
// label, day fraction (or serial), format: as variant_books.py writes them
const times = [["h:mm", 0.5625, "h:mm"], ["hh:mm:ss", 0.5630208333333333, "hh:mm:ss"],
               ["AM/PM", 0.5630208333333333, "h:mm AM/PM"], ["date and time", 45366.56302083333, "yyyy-mm-dd hh:mm:ss"],
               ["fraction of a second", 0.563025462962963, "hh:mm:ss.000"], ["elapsed", 10.632060185185185, "[h]:mm:ss"],
               ["before the next day", 45366.9999999, "yyyy-mm-dd hh:mm:ss"]];

function sheetjs(file, options, date1904) {
  const ws = XLSX.utils.aoa_to_sheet(rows, {cellDates: options.cellDates, dateNF: "yyyy-mm-dd", date1904});
  ws["E3"].z = "yyyy-mm-dd hh:mm:ss";
  const wb = XLSX.utils.book_new();
  if (date1904)
    wb.Workbook = {WBProps: {date1904: true}};
  XLSX.utils.book_append_sheet(wb, ws, "Rates");
  XLSX.utils.book_append_sheet(wb, XLSX.utils.aoa_to_sheet([["must not be read"]]), "Other");
  XLSX.writeFile(wb, `${out}/${file}`, {compression: true, ...options});
}

function sheetjsTimes(file, bookType) {
  const ws = XLSX.utils.aoa_to_sheet(times.map(([label, value, z]) => [label, {t: "n", v: value, z}]));
  const wb = XLSX.utils.book_new();
  XLSX.utils.book_append_sheet(wb, ws, "Times");
  XLSX.writeFile(wb, `${out}/${file}`, {bookType, compression: true});
}

function exceljsRows(ws) {
  for (const row of rows)
    ws.addRow(row);
}

(async () => {
  sheetjs("sheetjs_cell_dates.xlsx", {bookSST: true, cellDates: true});
  sheetjs("sheetjs_1904.xlsx", {bookSST: false, cellDates: false}, true);
  sheetjs("sheetjs_biff8.xls", {bookType: "biff8"});
  sheetjsTimes("times_sheetjs.xlsx", "xlsx");
  sheetjsTimes("times_sheetjs.xls", "biff8");

  for (const [file, useSharedStrings] of [["exceljs_stream_shared.xlsx", true], ["exceljs_stream_inline.xlsx", false]]) {
    const wb = new ExcelJS.stream.xlsx.WorkbookWriter({filename: `${out}/${file}`, useSharedStrings, useStyles: true});
    const ws = wb.addWorksheet("Rates");
    ws.getColumn(5).numFmt = "yyyy-mm-dd";
    for (const row of rows)
      ws.addRow(row).commit();
    ws.commit();
    wb.addWorksheet("Other").addRow(["must not be read"]).commit();
    await wb.commit();
  }
  const wb = new ExcelJS.Workbook();
  wb.properties.date1904 = true;
  const ws = wb.addWorksheet("Rates");
  exceljsRows(ws);
  ws.getCell("E2").numFmt = "yyyy-mm-dd";
  ws.getCell("E3").numFmt = "yyyy-mm-dd hh:mm:ss";
  wb.addWorksheet("Other").addRow(["must not be read"]);
  await wb.xlsx.writeFile(`${out}/exceljs_1904.xlsx`);

  const times1 = new ExcelJS.Workbook();
  const sheet = times1.addWorksheet("Times");
  times.forEach(([label, value, numFmt], i) => {
    sheet.getCell(i + 1, 1).value = label;
    Object.assign(sheet.getCell(i + 1, 2), {value, numFmt});
  });
  await times1.xlsx.writeFile(`${out}/times_exceljs.xlsx`);
})();

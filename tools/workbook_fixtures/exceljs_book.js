// Writes ExcelJS workbooks: shared strings, rich text, formulas with results, errors, dates.
const ExcelJS = require("exceljs");
const [out] = process.argv.slice(2);
(async () => {
  const wb = new ExcelJS.Workbook();
  const ws = wb.addWorksheet("折算率");
  ws.addRow(["交易所", "代码", "名称", "折算率", "日期"]);
  ws.addRow(["SH", "000001", { richText: [{ text: "平安" }, { font: { bold: true }, text: "银行" }] }, 0.7,
             new Date(Date.UTC(2024, 2, 15))]);
  ws.addRow(["SZ", 600000, { formula: '"浦发"&"银行"', result: "浦发银行" }, { formula: "0.1+0.2", result: 0.30000000000000004 },
             { error: "#N/A" }]);
  ws.getCell("E2").numFmt = "yyyy-mm-dd";
  ws.getCell("D2").numFmt = "0%";
  ws.getCell("A5").value = true;
  ws.getCell("B5").value = { formula: "1/0", result: { error: "#DIV/0!" } };
  wb.addWorksheet("Other").addRow(["must not be read"]);
  await wb.xlsx.writeFile(out);
})();

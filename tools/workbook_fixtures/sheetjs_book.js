// Writes SheetJS workbooks: strings inline (no shared table) or shared, numbers, booleans, dates.
const XLSX = require("xlsx");
const [out, sst] = process.argv.slice(2);
const ws = XLSX.utils.aoa_to_sheet([
  ["交易所", "代码", "名称", "折算率"],
  ["SH", "000001", "平安银行", 0.7],
  ["SZ", 600000, "浦发银行", 0.1 + 0.2],
  [],
  ["SH", "000300", null, true],
]);
ws["E2"] = { t: "n", v: 45366, z: "yyyy-mm-dd" };
ws["E3"] = { t: "e", v: 0x2a, w: "#N/A" };
ws["!ref"] = "A1:E5";
const wb = XLSX.utils.book_new();
XLSX.utils.book_append_sheet(wb, ws, "汇率");
XLSX.utils.book_append_sheet(wb, XLSX.utils.aoa_to_sheet([["must not be read"]]), "Other");
XLSX.writeFile(wb, out, { bookSST: sst === "sst", cellDates: false });

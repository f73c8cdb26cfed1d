// The same work as roster_bench done with the SheetJS library, for comparison.
// Usage: NODE_PATH=<folder with node_modules/xlsx> node bench/compare-sheetjs.js DATA_DIR
const XLSX = require('xlsx');
const path = require('path');
const os = require('os');

function perCall(fn, n) {
  fn();
  const t0 = process.hrtime.bigint();
  for (let i = 0; i < n; i++) fn();
  return Number(process.hrtime.bigint() - t0) / 1e6 / n;
}

for (const students of [48, 32766]) {
  const file = path.join(process.argv[2], `roster-${students}.xls`);
  const out = path.join(os.tmpdir(), `sheetjs-roster-${students}.xls`);
  const n = students > 1000 ? 5 : 200;
  const read = perCall(() => {
    const wb = XLSX.readFile(file);
    let cells = 0;
    for (const name of wb.SheetNames) for (const row of XLSX.utils.sheet_to_json(wb.Sheets[name], { header: 1 })) cells += row.length;
    return cells;
  }, n);
  const wb = XLSX.readFile(file);
  const ws = wb.Sheets[wb.SheetNames[0]];
  let mark = 0;
  const markSave = perCall(() => {
    ws['L9'] = { t: 'n', v: ++mark };
    XLSX.writeFile(wb, out, { bookType: 'biff8' });
  }, n);
  const groupSave = perCall(() => {
    for (let i = 1; i <= students; i++) ws[`E${i + 2}`] = { t: 'n', v: (i + mark) % 6 + 1 };
    XLSX.writeFile(wb, out, { bookType: 'biff8' });
  }, n);
  console.log(`SheetJS ${XLSX.version} ${students} students: open+read all ${read.toFixed(2)} ms, ` +
              `one mark+save ${markSave.toFixed(2)} ms, group column+save ${groupSave.toFixed(2)} ms`);
}

// The same work as roster_bench done with the SheetJS library, for comparison, on the .xls and
// the .xlsx rosters. Usage: NODE_PATH=<folder with node_modules> node bench/compare-sheetjs.js DATA_DIR [xls|xlsx]
const XLSX = require('xlsx');
const path = require('path');
const os = require('os');

function perCall(fn, n) {
  fn();
  const t0 = process.hrtime.bigint();
  for (let i = 0; i < n; i++) fn();
  return Number(process.hrtime.bigint() - t0) / 1e6 / n;
}

const formats = process.argv[3] ? [process.argv[3]] : ['xls', 'xlsx'];
for (const ext of formats) {
  const bookType = ext === 'xls' ? 'biff8' : 'xlsx';
  for (const students of ext === 'xls' ? [48, 32766] : [48, 32764]) {
    const file = path.join(process.argv[2], `roster-${students}.${ext}`);
    const out = path.join(os.tmpdir(), `sheetjs-roster-${students}.${ext}`);
    const n = students > 1000 ? 3 : 200;
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
      XLSX.writeFile(wb, out, { bookType });
    }, n);
    const groupSave = perCall(() => {
      for (let i = 1; i <= students; i++) ws[`E${i + 2}`] = { t: 'n', v: (i + mark) % 6 + 1 };
      XLSX.writeFile(wb, out, { bookType });
    }, n);
    console.log(`SheetJS ${XLSX.version} .${ext} ${students} students: open+read all ${read.toFixed(2)} ms, ` +
                `one mark+save ${markSave.toFixed(2)} ms, group column+save ${groupSave.toFixed(2)} ms`);
    if (ext === 'xlsx') {
      // By default SheetJS stores the parts uncompressed; with compression it deflates them, as
      // roster_bench's saves do.
      const markDeflated = perCall(() => {
        ws['L9'] = { t: 'n', v: ++mark };
        XLSX.writeFile(wb, out, { bookType, compression: true });
      }, n);
      const groupDeflated = perCall(() => {
        for (let i = 1; i <= students; i++) ws[`E${i + 2}`] = { t: 'n', v: (i + mark) % 6 + 1 };
        XLSX.writeFile(wb, out, { bookType, compression: true });
      }, n);
      console.log(`SheetJS ${XLSX.version} .${ext} ${students} students, compression: true: ` +
                  `one mark+save ${markDeflated.toFixed(2)} ms, group column+save ${groupDeflated.toFixed(2)} ms`);
    }
  }
}

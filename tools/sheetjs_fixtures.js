// Rosters as web systems export them with SheetJS (npm xlsx, BIFF8). SheetJS writes a whole mini
// FAT sector of END-OF-CHAIN entries, most of them past the end of the mini stream. Writes into
// DATA_DIR (which must hold lo-roster3.xls):
//   sj-roster3.xls           three classes, strings in the shared string table (bookSST: true)
//   sj-roster2-inline.xls    two small classes, strings in each cell (the default); the Workbook
//                            stream is small enough to live in the mini stream
//   sj-lo-roster3-edited.xls lo-roster3.xls read and written again by SheetJS after an edit made
//                            there: student 42 of 高一(1)班 has a 3 in today's column I (12月05)
// Usage: NODE_PATH=<folder with node_modules> node tools/sheetjs_fixtures.js DATA_DIR VERSION
const XLSX = require('xlsx');
const path = require('path');

const [data, version] = process.argv.slice(2);
if (XLSX.version !== version) throw new Error(`SheetJS ${XLSX.version} found, ${version} wanted`);

function roster(classes) {
  const wb = XLSX.utils.book_new();
  for (const [name, n] of classes) {
    const rows = [[`${name} 点名册`], ['学号', '姓名', '性别', '备注', '组别', '12月01', '12月03']];
    for (let i = 1; i <= n; i++) {
      const row = [i, `学生${i}`, i % 2 ? '男' : '女', i % 5 === 0 ? `转入${i}` : null, null, i % 4];
      if (i % 2) row.push((i * 7) % 10);
      rows.push(row);
    }
    XLSX.utils.book_append_sheet(wb, XLSX.utils.aoa_to_sheet(rows), name);
  }
  return wb;
}

XLSX.writeFile(roster([['高一(1)班', 12], ['高一(2)班', 40], ['高一(3)班', 7]]), path.join(data, 'sj-roster3.xls'),
               { bookType: 'biff8', bookSST: true });
XLSX.writeFile(roster([['初一(1)班', 8], ['初一(2)班', 5]]), path.join(data, 'sj-roster2-inline.xls'), { bookType: 'biff8' });

const lo = XLSX.readFile(path.join(data, 'lo-roster3.xls'));
lo.Sheets[lo.SheetNames[0]]['I44'] = { t: 'n', v: 3 };
XLSX.writeFile(lo, path.join(data, 'sj-lo-roster3-edited.xls'), { bookType: 'biff8' });
console.log(`SheetJS ${XLSX.version}: fixtures written to ${data}`);

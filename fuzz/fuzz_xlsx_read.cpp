// .xlsx input (see xlsx_package.h) either parses or fails with WorkbookError: no crash, hang
// or other exception.
#include "fuzz/xlsx_package.h"
#include "roster/workbook.h"

#include <algorithm>

using velquor::roster::Workbook;
using velquor::roster::WorkbookError;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    Workbook wb = Workbook::fromBytes(xlsxfuzz::input(data, size));
    for (int s = 1; s <= wb.sheetCount(); ++s) {
      (void)wb.sheetName(s);
      (void)wb.sheetHidden(s);
      const int rows = std::min(wb.lastRow(s), 300), cols = std::min(wb.lastColumn(s), 40);
      for (int r = 1; r <= rows; ++r)
        for (int c = 1; c <= cols; ++c) {
          (void)wb.cell(s, r, c).toText();
          (void)wb.cellMonthDay(s, r, c);
        }
    }
  } catch (const WorkbookError&) {
  }
  return 0;
}

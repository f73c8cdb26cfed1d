// Any input either parses or fails with WorkbookError: no crash, hang or other exception.
#include "roster/workbook.h"

#include <algorithm>
#include <cstdint>

using velquor::roster::Workbook;
using velquor::roster::WorkbookError;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    Workbook wb = Workbook::fromBytes(std::vector<std::uint8_t>(data, data + size));
    for (int s = 1; s <= wb.sheetCount(); ++s) {
      (void)wb.sheetName(s);
      if (!wb.sheetReadable(s)) {
        try {
          (void)wb.cell(s, 1, 1);
          __builtin_trap();  // a damaged sheet must refuse to be read
        } catch (const WorkbookError&) {
        }
        continue;
      }
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

// Reads every sheet of an input: it either parses or fails with WorkbookError; no crash, hang
// or other exception. Shared by the reading fuzzers.
#pragma once

#include "roster/workbook.h"

#include <algorithm>
#include <cstdint>
#include <vector>

inline void readAll(const std::vector<std::uint8_t>& bytes) {
  using velquor::roster::Workbook;
  using velquor::roster::WorkbookError;
  try {
    Workbook wb = Workbook::fromBytes(bytes);
    for (int s = 1; s <= wb.sheetCount(); ++s) {
      (void)wb.sheetName(s);
      (void)wb.sheetHidden(s);
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
}

// Cell values as both formats store them: number formats that show dates, numbers as text,
// date headings, and the Cell a parsed cell slot stands for.
#pragma once

#include <cstdint>
#include <string>

#include "roster/workbook.h"

namespace velquor::roster::detail {

// A built-in number format (by its id, the same in both file formats) that shows a date or time.
bool isBuiltinDateFormat(std::uint32_t id);
bool isDateFormatString(const std::string& format);
// The shortest exact decimal form, 15 significant digits at most.
std::string formatNumber(double v);
// A date-formatted number (`date1904`: the workbook counts days from 1904), or a text that
// reads as a date, as "MM月dd"; otherwise c.toText().
std::string monthDayText(const Cell& c, bool date1904);

// The Cell of a parsed cell slot of either format (`kind`, `flags`, `num`, `str`): `dateFlag`
// marks a number whose format shows a date, `textOf(slot)` gives a text cell's text, and
// `error(slot, cell)` fills in an error cell.
template <class Slot, class TextOf, class ErrorOf>
Cell slotCell(const Slot& slot, std::uint8_t dateFlag, TextOf textOf, ErrorOf error) {
  Cell c;
  c.kind = static_cast<Cell::Kind>(slot.kind);
  switch (c.kind) {
    case Cell::Kind::Text:
      c.text = textOf(slot);
      break;
    case Cell::Kind::Number:
      c.number = slot.num;
      c.isDate = slot.flags & dateFlag;
      break;
    case Cell::Kind::Boolean:
      c.number = slot.num;
      break;
    case Cell::Kind::Error:
      error(slot, c);
      break;
    case Cell::Kind::Empty:
      break;
  }
  return c;
}

}  // namespace velquor::roster::detail

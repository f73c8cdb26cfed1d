#include "roster/classsheet.h"

namespace velquor::roster {

int countStudents(const CellSource& cells) {
  int row = kFirstStudentRow;
  while (!cells.value(row, kNumberColumn).isBlank()) {
    if (row == kLastListEndRow) throw ClassSheetError("class list too long");
    ++row;
  }
  return row - kFirstStudentRow;
}

int findTodayColumn(const CellSource& cells, const std::string& todayText) {
  for (int column = kFirstDayColumn; column <= kLastColumn; ++column) {
    const Variant heading = cells.value(kHeadingRow, column);
    if (heading.isEmpty() || (heading.kind == Variant::Kind::Text && heading.text.empty())) return column;
    if (heading.kind == Variant::Kind::Text && heading.text == todayText) return column;
    if (heading.kind == Variant::Kind::Number && cells.isDateShownAs(kHeadingRow, column, todayText)) return column;
  }
  throw ClassSheetError("no free column for today's marks");
}

ClassSheet readClassSheet(const CellSource& cells, int count, const std::string& todayText) {
  ClassSheet sheet;
  sheet.todayColumn = findTodayColumn(cells, todayText);
  sheet.numbers.reserve(static_cast<std::size_t>(count));
  sheet.names.reserve(static_cast<std::size_t>(count));
  sheet.markedToday.reserve(static_cast<std::size_t>(count));
  for (int i = 1; i <= count; ++i) {
    const int row = i + kFirstStudentRow - 1;
    sheet.numbers.push_back(cells.value(row, kNumberColumn));
    sheet.names.push_back(cells.value(row, kNameColumn));
    sheet.markedToday.push_back(!cells.value(row, sheet.todayColumn).isBlank());
  }
  return sheet;
}

}  // namespace velquor::roster

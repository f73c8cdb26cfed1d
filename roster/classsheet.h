// Reading one class out of its worksheet: the students, today's mark column and who
// already has a mark today. Works on any source of cell values, so it is tested
// without a workbook file.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "core/variant.h"

namespace velquor::roster {

// Where the roster keeps things (rows and columns numbered from 1).
constexpr int kHeadingRow = 2;
constexpr int kFirstStudentRow = 3;
constexpr int kNumberColumn = 1;  // A
constexpr int kNameColumn = 2;    // B
constexpr int kGroupColumn = 5;   // E
constexpr int kFirstDayColumn = 6;  // F
constexpr int kLastColumn = 256;  // IV, the last column of the file format
// The first blank row that ends the list must be a row a 16-bit row number can hold,
// so a class holds at most 32764 students (rows 3 to 32766).
constexpr int kLastListEndRow = 32767;
constexpr int kMaxStudents = kLastListEndRow - kFirstStudentRow;

class CellSource {
 public:
  virtual ~CellSource() = default;
  virtual Variant value(int row, int column) const = 0;
  // True when the cell holds a date value that shows as `monthDay` ("12月05").
  virtual bool isDateShownAs(int row, int column, const std::string& monthDay) const = 0;
};

class ClassSheetError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct ClassSheet {
  std::vector<Variant> numbers;   // student i (1-based) at index i - 1
  std::vector<Variant> names;
  std::vector<bool> markedToday;  // the student's cell in today's column is not blank
  int todayColumn = kFirstDayColumn;
  int studentCount() const { return static_cast<int>(numbers.size()); }
};

// Students from row 3 down to the first row whose column-A cell is blank.
// Throws ClassSheetError when no blank row comes before row 32768.
int countStudents(const CellSource& cells);

// Today's column: the first column from F whose heading is today's text (or a date
// value showing as it), else the first whose heading is empty. Throws ClassSheetError
// when every column to the last one of the sheet holds another heading.
int findTodayColumn(const CellSource& cells, const std::string& todayText);

// The whole class, with `count` students (from countStudents).
ClassSheet readClassSheet(const CellSource& cells, int count, const std::string& todayText);

}  // namespace velquor::roster

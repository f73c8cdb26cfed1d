// The class's calls and marks at a glance: for each student the calls within the window, the
// day of the last one, today's mark, and the marks of the roster's dated columns (read by
// their leading number, rounded halves to even, as a mark is read when a score is added).
// No widget in here.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/variant.h"
#include "rollcall/fairpick.h"

namespace velquor::roster {
class Workbook;
}

namespace velquor::results {

struct DayColumn {
  int column = 0;       // sheet column (F = 6 onwards)
  std::string heading;  // "MM月dd"
};

struct StudentStats {
  std::string number;  // column A as text
  std::string name;    // column B as text
  int calls = 0;       // within the window, taken-back calls not counted
  std::optional<rollcall::Day> lastCall;
  std::string todayMark;  // today's cell as text; "" when blank
  int markedDays = 0;     // dated columns whose cell is not blank
  double markSum = 0;     // the marks of those cells
  std::vector<std::optional<double>> marks;  // per dated column; empty where blank
};

struct ClassStats {
  std::vector<DayColumn> days;
  std::vector<StudentStats> students;  // in list order
  double averageCalls() const;
};

// The dated columns of the sheet: from F rightwards, every column whose row-2 heading is a
// date in the form "MM月dd" (as text or as a date value).
std::vector<DayColumn> datedColumns(const roster::Workbook& book, int sheet);

// The statistics of the class in `sheet` with `studentCount` students (rows 3 onwards) whose
// day column is `todayColumn`, and the calls of the history.
ClassStats classStats(const roster::Workbook& book, int sheet, int studentCount, int todayColumn,
                      const rollcall::CallsByStudent& calls);

// A mark's value as the program reads it: the leading number of its text, rounded halves to
// even (0 for a text without a number).
double markValue(const Variant& cell);

// "2026-12-05".
std::string dayText(rollcall::Day day);

// The table of the statistics as exported: a heading row, then one row per student.
std::vector<std::vector<std::string>> statsTable(const ClassStats& stats);

// The table as CSV: UTF-8 with a byte order mark (so that the spreadsheet programs take it as
// UTF-8), CR LF line ends, fields quoted where they need it.
std::string csvText(const std::vector<std::vector<std::string>>& rows);

}  // namespace velquor::results

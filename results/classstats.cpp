#include "results/classstats.h"

#include <cmath>

#include "core/numtext.h"
#include "roster/classsheet.h"
#include "roster/workbook.h"
#include "roster/workbookset.h"

namespace velquor::results {

namespace {

// "MM月dd": two digits, 月, two digits.
bool isMonthDay(const std::string& text) {
  static const std::string month = "月";
  if (text.size() != 4 + month.size()) return false;
  auto digit = [](char c) { return c >= '0' && c <= '9'; };
  return digit(text[0]) && digit(text[1]) && text.compare(2, month.size(), month) == 0 &&
         digit(text[2 + month.size()]) && digit(text[3 + month.size()]);
}

}  // namespace

double ClassStats::averageCalls() const {
  if (students.empty()) return 0.0;
  long long total = 0;
  for (const StudentStats& s : students) total += s.calls;
  return static_cast<double>(total) / static_cast<double>(students.size());
}

std::vector<DayColumn> datedColumns(const roster::Workbook& book, int sheet) {
  std::vector<DayColumn> days;
  const int last = book.lastColumn(sheet);
  for (int col = roster::kFirstDayColumn; col <= last; ++col) {
    std::string shown = book.cellMonthDay(sheet, roster::kHeadingRow, col);
    if (isMonthDay(shown)) days.push_back({col, std::move(shown)});
  }
  return days;
}

double markValue(const Variant& cell) {
  const double value = roundHalfEven(leadingNumber(cell.toText()));
  return std::isfinite(value) ? value : 0.0;
}

ClassStats classStats(const roster::Workbook& book, int sheet, int studentCount, int todayColumn,
                      const rollcall::CallsByStudent& calls) {
  ClassStats stats;
  stats.days = datedColumns(book, sheet);
  stats.students.reserve(static_cast<std::size_t>(std::max(studentCount, 0)));
  for (int i = 1; i <= studentCount; ++i) {
    const int row = roster::kFirstStudentRow + i - 1;
    StudentStats s;
    s.number = roster::toVariant(book.cell(sheet, row, roster::kNumberColumn)).toText();
    s.name = roster::toVariant(book.cell(sheet, row, roster::kNameColumn)).toText();
    if (const auto it = calls.find(rollcall::studentKey(s.number, s.name)); it != calls.end()) {
      s.calls = it->second.count;
      s.lastCall = it->second.last;
    }
    const Variant today = roster::toVariant(book.cell(sheet, row, todayColumn));
    if (!today.isBlank()) s.todayMark = today.toText();
    s.marks.reserve(stats.days.size());
    for (const DayColumn& day : stats.days) {
      const Variant mark = roster::toVariant(book.cell(sheet, row, day.column));
      if (mark.isBlank()) {
        s.marks.emplace_back();
        continue;
      }
      const double value = markValue(mark);
      s.marks.emplace_back(value);
      ++s.markedDays;
      s.markSum += value;
    }
    stats.students.push_back(std::move(s));
  }
  return stats;
}

std::string dayText(rollcall::Day day) { return rollcall::isoDay(day); }

std::vector<std::vector<std::string>> statsTable(const ClassStats& stats) {
  std::vector<std::vector<std::string>> rows;
  rows.reserve(stats.students.size() + 1);
  rows.push_back({"学号", "姓名", "点名次数", "最近点名", "今日成绩", "记分天数", "成绩合计"});
  for (const StudentStats& s : stats.students) {
    rows.push_back({s.number, s.name, std::to_string(s.calls), s.lastCall ? dayText(*s.lastCall) : std::string(),
                    s.todayMark, std::to_string(s.markedDays), plainDecimal(s.markSum)});
  }
  return rows;
}

std::string csvText(const std::vector<std::vector<std::string>>& rows) {
  std::string out = "\xEF\xBB\xBF";
  for (const auto& row : rows) {
    for (std::size_t c = 0; c < row.size(); ++c) {
      if (c) out += ',';
      const std::string& field = row[c];
      if (field.find_first_of(",\"\r\n") == std::string::npos) {
        out += field;
        continue;
      }
      out += '"';
      for (char ch : field) {
        if (ch == '"') out += '"';
        out += ch;
      }
      out += '"';
    }
    out += "\r\n";
  }
  return out;
}

}  // namespace velquor::results

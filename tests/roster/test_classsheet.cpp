// Reading a class from its sheet: list end, today's column, marks of the day.
#include <QTest>
#include <map>
#include <set>

#include "roster/classsheet.h"

using namespace velquor;
using namespace velquor::roster;

namespace {

class MapCells : public CellSource {
 public:
  std::map<std::pair<int, int>, Variant> cells;
  std::set<std::pair<int, int>> dates;  // cells holding a date value
  std::string dateText;                 // how those dates show
  int reads = 0;

  Variant value(int row, int column) const override {
    ++const_cast<MapCells*>(this)->reads;
    auto it = cells.find({row, column});
    return it == cells.end() ? Variant() : it->second;
  }
  bool isDateShownAs(int row, int column, const std::string& monthDay) const override {
    return dates.count({row, column}) && monthDay == dateText;
  }
  void text(int row, int column, const std::string& t) { cells[{row, column}] = Variant::fromText(t); }
  void number(int row, int column, double v) { cells[{row, column}] = Variant::fromNumber(v); }
};

MapCells classOf(int n) {
  MapCells sheet;
  sheet.text(1, 1, "三年级二班");
  sheet.text(2, 1, "学号");
  sheet.text(2, 2, "姓名");
  for (int i = 1; i <= n; ++i) {
    sheet.number(i + 2, 1, i);
    sheet.text(i + 2, 2, "学生" + std::to_string(i));
  }
  return sheet;
}

}  // namespace

class TestClassSheet : public QObject {
  Q_OBJECT
 private slots:
  void theListEndsAtTheFirstBlankNumber() {
    MapCells sheet = classOf(45);
    sheet.text(49, 1, "46");  // after the blank A48: not part of the class
    QCOMPARE(countStudents(sheet), 45);
    sheet.text(20, 1, "   ");  // only spaces ends the list too
    QCOMPARE(countStudents(sheet), 17);
    sheet.number(20, 1, 0);  // a zero is a value, not a blank
    QCOMPARE(countStudents(sheet), 45);
    QCOMPARE(countStudents(MapCells()), 0);
  }

  void aClassOfMoreThan32764StudentsIsRefused() {
    MapCells sheet = classOf(kMaxStudents);
    QCOMPARE(countStudents(sheet), 32764);
    sheet.number(kMaxStudents + 3, 1, kMaxStudents + 1);  // row 32767 filled too
    QVERIFY_THROWS_EXCEPTION(ClassSheetError, countStudents(sheet));
  }

  void todaysColumnIsTodaysHeadingOrTheFirstEmptyOne() {
    MapCells sheet = classOf(3);
    sheet.text(2, 6, "12月01");
    sheet.text(2, 7, "12月03");
    QCOMPARE(findTodayColumn(sheet, "12月03"), 7);
    QCOMPARE(findTodayColumn(sheet, "12月05"), 8);
    QCOMPARE(findTodayColumn(sheet, "12月01"), 6);
    // A heading of one space is not empty; neither is a number that is no date.
    sheet.text(2, 8, " ");
    sheet.number(2, 9, 5);
    QCOMPARE(findTodayColumn(sheet, "12月05"), 10);
    // An empty text heading counts as empty.
    sheet.text(2, 8, "");
    QCOMPARE(findTodayColumn(sheet, "12月05"), 8);
  }

  void aDateValuedHeadingCountsWhenItShowsAsToday() {
    MapCells sheet = classOf(3);
    sheet.number(2, 6, 46361);  // a date value
    sheet.dates.insert({2, 6});
    sheet.dateText = "12月05";
    QCOMPARE(findTodayColumn(sheet, "12月05"), 6);
    QCOMPARE(findTodayColumn(sheet, "12月06"), 7);
  }

  void aSheetWithoutAFreeColumnIsRefused() {
    MapCells sheet = classOf(2);
    for (int c = kFirstDayColumn; c <= kLastColumn; ++c) sheet.text(2, c, "11月01");
    QVERIFY_THROWS_EXCEPTION(ClassSheetError, findTodayColumn(sheet, "12月05"));
    sheet.text(2, kLastColumn, "12月05");
    QCOMPARE(findTodayColumn(sheet, "12月05"), kLastColumn);
  }

  void readingTheClassKeepsValuesAsReadAndNotesTodaysMarks() {
    MapCells sheet = classOf(5);
    sheet.text(2, 6, "12月05");
    sheet.number(4, 6, 3);      // student 2 has a mark today
    sheet.text(6, 6, "缺");     // student 4: text counts as a mark
    sheet.text(7, 6, "  ");     // student 5: spaces only are blank
    sheet.text(5, 1, "3");      // number stored as text stays text
    const ClassSheet cls = readClassSheet(sheet, countStudents(sheet), "12月05");
    QCOMPARE(cls.studentCount(), 5);
    QCOMPARE(cls.todayColumn, 6);
    QCOMPARE(cls.markedToday, std::vector<bool>({false, true, false, true, false}));
    QCOMPARE(cls.numbers[2].kind, Variant::Kind::Text);
    QCOMPARE(cls.numbers[2].text, std::string("3"));
    QCOMPARE(cls.numbers[4], Variant::fromNumber(5));
    QCOMPARE(cls.names[0], Variant::fromText("学生1"));
  }
};

QTEST_APPLESS_MAIN(TestClassSheet)
#include "test_classsheet.moc"

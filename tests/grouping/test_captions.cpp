#include <QTest>

#include "grouping/captions.h"
#include "grouping/formation.h"

using namespace velquor;
using namespace velquor::grouping;

namespace {
QString q(const std::string& text) { return QString::fromStdString(text); }

Member member(Variant number, const char* name, int student) { return Member{std::move(number), Variant::fromText(name), student}; }
}  // namespace

class TestCaptions : public QObject {
  Q_OBJECT
 private slots:
  void summaryCaption() {
    QCOMPARE(q(grouping::summaryCaption(48, 6, 1, 8)), QString("48人分6组，第1组有8人"));
    QCOMPARE(q(grouping::summaryCaption(11, 5, 5, 0)), QString("11人分5组，第5组有0人"));
  }

  void memberCaptionsWithOneAndSeveralGroups() {
    const Member m = member(Variant::fromNumber(15), "张三", 4);
    QCOMPARE(q(memberCaption(2, m)), QString("第 2 组 15 号 张三"));
    QCOMPARE(q(nameCaption(6, 2, m)), QString("2 组 15 号 \r\n张三"));
    QCOMPARE(q(nameCaption(1, 1, m)), QString("15 号 \r\n张三"));
    // A number cell holding a fraction shows the Integer it rounds to, halves to even.
    QCOMPARE(q(memberCaption(1, member(Variant::fromNumber(14.5), "李四", 1))), QString("第 1 组 14 号 李四"));
    // A number typed as text reads as that number.
    QCOMPARE(memberNumber(member(Variant::fromText("15"), "王五", 1)), std::optional<int>(15));
  }

  // Two members with one name: the row selected decides whose number becomes current.
  void selectingTheSecondOfTwoNamesakes() {
    GroupTable table;
    table.reset(2);
    table.members(2) = {member(Variant::fromNumber(3), "王芳", 3), member(Variant::fromNumber(17), "王芳", 17)};
    const auto selection = selectMember(table, table.groupCount(), 2, 1);
    QVERIFY(selection);
    QCOMPARE(selection->number, std::optional<int>(17));
    QCOMPARE(selection->student, 17);
    QCOMPARE(selection->slot, 2);
    QCOMPARE(q(selection->memberCaption), QString("第 2 组 17 号 王芳"));
    QCOMPARE(q(selection->nameCaption), QString("2 组 17 号 \r\n王芳"));
    // The rule in force decides the prefix, also before its groups are formed.
    QCOMPARE(q(selectMember(table, 1, 2, 1)->nameCaption), QString("17 号 \r\n王芳"));
    QVERIFY(!selectMember(table, table.groupCount(), 2, 2));
    QVERIFY(!selectMember(table, table.groupCount(), 2, -1));
    QVERIFY(!selectMember(table, table.groupCount(), 1, 0));  // empty group
    QVERIFY(!selectMember(table, table.groupCount(), 3, 0));  // no such group
  }

  // A number cell holding text leaves no current number, and the captions show the text.
  void memberWithATextNumber() {
    GroupTable table;
    table.reset(1);
    table.members(1) = {member(Variant::fromNumber(15), "张三", 1), member(Variant::fromText("A12"), "李四", 2),
                        member(Variant{}, "赵六", 3), member(Variant::fromNumber(40000), "钱七", 4)};
    const auto text = selectMember(table, table.groupCount(), 1, 1);
    QVERIFY(text);
    QVERIFY(!text->number);
    QCOMPARE(text->student, 2);
    QCOMPARE(q(text->memberCaption), QString("第 1 组 A12 号 李四"));
    QCOMPARE(q(text->nameCaption), QString("A12 号 \r\n李四"));
    QVERIFY(!selectMember(table, table.groupCount(), 1, 2)->number);
    QCOMPARE(q(selectMember(table, table.groupCount(), 1, 2)->nameCaption), QString(" 号 \r\n赵六"));
    QVERIFY(!selectMember(table, table.groupCount(), 1, 3)->number);  // past the 16-bit range
  }

  void memberNamesInSlotOrder() {
    std::vector<Student> students;
    for (const char* name : {"甲", "乙", "丙", "丁", "戊"})
      students.push_back({Variant::fromNumber(static_cast<double>(students.size() + 1)), Variant::fromText(name)});
    students.push_back({Variant::fromNumber(6), Variant::fromNumber(2024)});  // a name cell holding a number
    const auto grouping = formGroups(students, 2, 3, GroupingOrder::InOrder);
    QVERIFY(grouping);
    const auto second = memberNames(grouping->table, 2);
    QCOMPARE(second.size(), std::size_t{3});
    QCOMPARE(q(second[0]), QString("丁"));
    QCOMPARE(q(second[1]), QString("戊"));
    QCOMPARE(q(second[2]), QString("2024"));
    QVERIFY(memberNames(grouping->table, 3).empty());
  }
};

QTEST_APPLESS_MAIN(TestCaptions)
#include "test_captions.moc"

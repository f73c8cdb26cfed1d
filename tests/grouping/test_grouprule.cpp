#include <QTest>

#include "grouping/grouprule.h"

using namespace velquor::grouping;

namespace {
QString q(const std::string& text) { return QString::fromStdString(text); }
}  // namespace

class TestGroupRule : public QObject {
  Q_OBJECT
 private slots:
  void refusesNumbersOutsideTheClass_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("n");
    QTest::addColumn<QString>("message");
    const QString count = "请输入正确的组数，值范围为[1~48]";
    const QString size = "请输入每组的人数，值范围为[1~48]";
    const int groups = static_cast<int>(RuleMode::GroupCount);
    const int persons = static_cast<int>(RuleMode::PersonsPerGroup);
    QTest::newRow("zero") << groups << "0" << 48 << count;
    QTest::newRow("empty") << groups << "" << 48 << count;
    QTest::newRow("letters") << groups << "abc" << 48 << count;
    QTest::newRow("one past the class") << groups << "49" << 48 << count;
    QTest::newRow("negative") << groups << "-3" << 48 << count;
    QTest::newRow("half rounds to even zero") << groups << "0.5" << 48 << count;
    QTest::newRow("past 16 bits") << groups << "70000" << 48 << count;
    QTest::newRow("persons zero") << persons << "0" << 48 << size;
    QTest::newRow("persons past the class") << persons << "49" << 48 << size;
    QTest::newRow("persons letters") << persons << "x7" << 48 << size;
    QTest::newRow("class size in the message") << groups << "31" << 30 << "请输入正确的组数，值范围为[1~30]";
    QTest::newRow("empty class") << persons << "1" << 0 << "请输入每组的人数，值范围为[1~0]";
  }
  void refusesNumbersOutsideTheClass() {
    QFETCH(int, mode);
    QFETCH(QString, text);
    QFETCH(int, n);
    QFETCH(QString, message);
    const RuleEntry entry = confirmRule(static_cast<RuleMode>(mode), text.toStdString(), n);
    QVERIFY(!entry.accepted());
    QCOMPARE(q(entry.refusal), message);
    QCOMPARE(q(refusalText(static_cast<RuleMode>(mode), n)), message);
  }

  void acceptsAndDerivesTheOtherNumber_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("groupCount");
    QTest::addColumn<int>("groupSize");
    const int groups = static_cast<int>(RuleMode::GroupCount);
    const int persons = static_cast<int>(RuleMode::PersonsPerGroup);
    QTest::newRow("48 groups") << groups << "48" << 48 << 1;
    QTest::newRow("1 group") << groups << "1" << 1 << 48;
    QTest::newRow("6 groups") << groups << "6" << 6 << 8;
    QTest::newRow("5 groups") << groups << "5" << 5 << 10;
    QTest::newRow("6.5 reads 6") << groups << "6.5" << 6 << 8;
    QTest::newRow("7.5 reads 8") << groups << "7.5" << 8 << 6;
    QTest::newRow("3abc reads 3") << groups << "3abc" << 3 << 16;
    QTest::newRow("blanks around") << groups << " 4 " << 4 << 12;
    QTest::newRow("7 per group") << persons << "7" << 7 << 7;
    QTest::newRow("1 per group") << persons << "1" << 48 << 1;
    QTest::newRow("48 per group") << persons << "48" << 1 << 48;
    QTest::newRow("persons 6.5 reads 6") << persons << "6.5" << 8 << 6;
  }
  void acceptsAndDerivesTheOtherNumber() {
    QFETCH(int, mode);
    QFETCH(QString, text);
    QFETCH(int, groupCount);
    QFETCH(int, groupSize);
    const RuleEntry entry = confirmRule(static_cast<RuleMode>(mode), text.toStdString(), 48);
    QVERIFY(entry.accepted());
    QCOMPARE(entry.rule->groupCount, groupCount);
    QCOMPARE(entry.rule->groupSize, groupSize);
    QVERIFY(entry.refusal.empty());
  }

  // The derived number is the least d with d x v >= n, for every class up to 60 and
  // both modes, and every accepted rule seats the whole class.
  void derivedNumberIsTheCeiling() {
    for (int n = 1; n <= 60; ++n) {
      for (int v = 1; v <= n; ++v) {
        const int d = derivedNumber(n, v);
        QVERIFY2(d * v >= n && (d - 1) * v < n, qPrintable(QString("n=%1 v=%2 d=%3").arg(n).arg(v).arg(d)));
        const auto byCount = confirmRule(RuleMode::GroupCount, std::to_string(v), n).rule;
        const auto bySize = confirmRule(RuleMode::PersonsPerGroup, std::to_string(v), n).rule;
        QVERIFY(byCount && bySize);
        QCOMPARE(*byCount, (GroupRule{v, d}));
        QCOMPARE(*bySize, (GroupRule{d, v}));
        QVERIFY(ruleSeatsClass(n, byCount->groupCount, byCount->groupSize));
        QVERIFY(ruleSeatsClass(n, bySize->groupCount, bySize->groupSize));
      }
    }
  }

  void wholeClassRuleAndSeating() {
    QCOMPARE(wholeClassRule(48), (GroupRule{1, 48}));
    QCOMPARE(wholeClassRule(0), (GroupRule{1, 0}));
    QVERIFY(ruleSeatsClass(0, 1, 0));
    QVERIFY(ruleSeatsClass(10, 4, 3));
    QVERIFY(!ruleSeatsClass(10, 3, 3));  // a stale rule leaving one student out
    QVERIFY(!ruleSeatsClass(10, 0, 10));
    QVERIFY(!ruleSeatsClass(10, 1, -1));
    QVERIFY(ruleSeatsClass(32767, 32767, 32767));  // no overflow of the product
  }
};

QTEST_APPLESS_MAIN(TestGroupRule)
#include "test_grouprule.moc"

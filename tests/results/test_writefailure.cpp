// The cause a failed write names, for every kind of workbook failure.
#include <QTest>
#include <set>

#include "results/writefailure.h"

using namespace velquor;
using roster::ErrorKind;
using roster::WorkbookError;

class TestWriteFailure : public QObject {
  Q_OBJECT
 private slots:
  void everyKindNamesItsOwnCause() {
    std::set<std::string> causes;
    for (ErrorKind kind : {ErrorKind::Other, ErrorKind::NotFound, ErrorKind::NotRegular, ErrorKind::Damaged,
                           ErrorKind::Unsupported, ErrorKind::SheetUnreadable, ErrorKind::CannotWrite, ErrorKind::Held, ErrorKind::ReadOnly,
                           ErrorKind::ChangedOnDisk, ErrorKind::DiskFull, ErrorKind::NoPermission}) {
      const QString cause = QString::fromStdString(results::writeFailureCause(WorkbookError("x", kind)));
      QVERIFY2(cause.endsWith(QStringLiteral("，")), qPrintable(cause));
      QVERIFY2(causes.insert(cause.toStdString()).second, qPrintable(cause));
    }
    auto cause = [](ErrorKind kind, const std::string& holder = {}) {
      return QString::fromStdString(results::writeFailureCause(WorkbookError("x", kind, holder)));
    };
    QVERIFY(cause(ErrorKind::ReadOnly).contains(QStringLiteral("只读")));
    QVERIFY(cause(ErrorKind::DiskFull).contains(QStringLiteral("磁盘已满")));
    QVERIFY(cause(ErrorKind::NoPermission).contains(QStringLiteral("权限")));
    QVERIFY(cause(ErrorKind::CannotWrite).contains(QStringLiteral("结构")));
    QVERIFY(cause(ErrorKind::NotFound).contains(QStringLiteral("找不到")));
    // Who holds the file, and since when when the lock file says.
    QCOMPARE(cause(ErrorKind::Held, "王老师 (classroom-pc, 05.12.2026 08:55)"),
             QStringLiteral("名单文件自05.12.2026 08:55起正被王老师（classroom-pc）打开，请在那里关闭后再试，"));
    QCOMPARE(cause(ErrorKind::Held, "Li Wei"), QStringLiteral("名单文件正被Li Wei打开，请在那里关闭后再试，"));
    QVERIFY(cause(ErrorKind::Held).contains(QStringLiteral("其他程序")));
    // A failure that is not the workbook's is told in general words.
    const std::runtime_error other("a student without a group");
    QCOMPARE(results::writeFailureCause(other), results::writeFailureCause(WorkbookError("x")));
    const std::exception& readOnly = WorkbookError("x", ErrorKind::ReadOnly);
    QCOMPARE(QString::fromStdString(results::writeFailureCause(readOnly)), cause(ErrorKind::ReadOnly));
  }
};

QTEST_MAIN(TestWriteFailure)
#include "test_writefailure.moc"

// The program's own data through the real main window and the real program: what the teacher
// is told when the store cannot be used or a class cannot be loaded, the log, the call
// history, and one window per user.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QProcess>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#ifndef Q_OS_WIN
#include <unistd.h>
#endif

#include "app/pendingwrites.h"
#include "app/widgets.h"
#include "roster/classsheet.h"
#include "roster/workbook.h"
#include "store/programstore.h"
#include "tests/support/rosterfiles.h"
#include "tests/support/scenario.h"

using namespace velquor;
using namespace velquor::test;
using velquor::roster::Workbook;

namespace {

Workbook::SheetRows classRows(const std::string& title, int n, int dayColumns = 1) {
  Workbook::SheetRows rows = {{title}, {"学号", "姓名", "性别", "备注", "组别"}};
  for (int d = 0; d < dayColumns; ++d) rows[1].push_back(std::to_string(d / 28 + 1) + "月" + std::to_string(d % 28 + 1));
  rows.reserve(static_cast<std::size_t>(n) + 2);
  for (int i = 1; i <= n; ++i) rows.push_back({std::to_string(i), "学生" + std::to_string(i)});
  return rows;
}

QString logOf(const Scenario& s) {
  return QString::fromUtf8(fileBytes(QDir(s.fakes.dataFolder.path()).filePath(QStringLiteral("velquor.log"))));
}

QString rosterIn(Scenario& s, const std::vector<std::pair<std::string, Workbook::SheetRows>>& sheets) {
  const QString path = QDir(s.fakes.programFolder.path()).filePath(QStringLiteral("点名册.xls"));
  writeWorkbook(path, sheets);
  return path;
}

// The messages of the window whose text contains `part`.
int said(const Scenario& s, const QString& part) {
  int n = 0;
  for (const Message& m : s.fakes.dialogs.messages) n += m.text.contains(part) && m.title == QStringLiteral("警告");
  return n;
}

}  // namespace

class TestProgramData : public QObject {
  Q_OBJECT
 private slots:
  void aClassThatCannotBeLoadedIsNamedWithItsCause() {
    Scenario s;
    const QString path = rosterIn(s, {{"一班", classRows("一班", 6)},
                                      {"长名单", classRows("长名单", roster::kMaxStudents + 1)},
                                      {"满列", classRows("满列", 3, roster::kLastColumn - roster::kFirstDayColumn + 1)},
                                      {"三班", classRows("三班", 4)}});
    FrmMd& w = s.start();
    w.OptFl[0]->click();
    QCOMPARE(w.studentCount, 6);
    auto choose = [&w](int k) {
      w.cmbXls->setCurrentIndex(k);
      w.onCmbXlsClick();
    };
    choose(1);
    QCOMPARE(s.fakes.dialogs.messages.back().text,
             QStringLiteral("班级“长名单”的名单超过32764人（第32767行之前没有空行结束名单），无法载入，请检查名单文件"));
    QCOMPARE(s.fakes.dialogs.messages.back().icon, MessageIcon::Critical);
    choose(2);
    QCOMPARE(s.fakes.dialogs.messages.back().text,
             QStringLiteral("班级“满列”的工作表从F列起已没有空列记录今天（12月05）的成绩，无法载入，请在名单文件中删去不用的列"));
    // The file damaged or gone after the classes were listed.
    {
      QFile f(path);
      QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
      f.write(QByteArray(4096, '\x01'));
    }
    choose(3);
    QCOMPARE(s.fakes.dialogs.messages.back().text, QStringLiteral("无法载入班级“三班”：名单文件已损坏，无法读取。"));
    QFile::remove(path);
    choose(3);
    QCOMPARE(s.fakes.dialogs.messages.back().text,
             QStringLiteral("无法载入班级“三班”：找不到名单文件（它可能已被移走或改名，或所在的磁盘已断开）。"));
    // Each time the class loaded before stays.
    QCOMPARE(w.studentCount, 6);
    QCOMPARE(w.cmbXls->currentIndex(), 0);
    // The log names each failure and the roster, never a student.
    const QString log = logOf(s);
    QCOMPARE(log.count(QStringLiteral("loading a class: ")), 4);
    QVERIFY(log.contains(QStringLiteral("(roster: ") + path + QLatin1Char(')')));
    QVERIFY(!log.contains(QStringLiteral("学生")));
  }

  void callsAndTakeBacksGoIntoTheHistory() {
    Scenario s;
    const QString path = rosterIn(s, {{"一班", classRows("一班", 6)}});
    FrmMd& w = s.start();
    w.OptFl[0]->click();
    if (w.chkGd->isChecked()) QTest::mouseClick(w.chkGd, Qt::LeftButton);
    s.fakes.random.values = {0.5, 0.1};
    QTest::mouseClick(w.lblXm, Qt::LeftButton);
    QTest::mouseClick(w.lblXm, Qt::LeftButton);
    w.MnCx->trigger();
    auto opened = store::Store::open(QDir(s.fakes.dataFolder.path()).filePath(QStringLiteral("velquor.db")).toStdString(),
                                     "2026-12-05");
    const auto calls = opened.store->calls(path.toStdString(), "一班");
    QCOMPARE(calls.size(), std::size_t(2));
    QCOMPARE(calls[0].time, std::string("2026-12-05T09:00:00"));
    QCOMPARE(calls[0].name, "学生" + calls[0].number);
    QVERIFY(!calls[0].takenBack);
    QVERIFY(calls[1].takenBack);
    QCOMPARE(opened.store->callsPerStudent(path.toStdString(), "一班", "2026-12-05", "2026-12-05").size(), std::size_t(1));
  }

  void aDamagedDatabaseIsSaidOnceAndKeptAside() {
    Scenario s;
    const QString db = QDir(s.fakes.dataFolder.path()).filePath(QStringLiteral("velquor.db"));
    {
      QFile f(db);
      QVERIFY(f.open(QIODevice::WriteOnly));
      f.write(QByteArray(3000, 'x'));
    }
    rosterIn(s, {{"一班", classRows("一班", 6)}});
    FrmMd& w = s.start();
    QTRY_COMPARE(said(s, QStringLiteral("velquor.db.damaged-2026-12-05")), 1);
    QVERIFY(QFile::exists(db + QStringLiteral(".damaged-2026-12-05")));
    // The new store works: an absence is kept.
    w.OptFl[0]->click();
    w.toggleAbsent(2);
    QVERIFY(w.isAbsent(2));
    QTest::qWait(50);
    QCOMPARE(said(s, QStringLiteral("velquor.db")), 1);
    QVERIFY(logOf(s).contains(QStringLiteral("damaged database set aside")));
  }

  void aReadOnlyDataFolderIsSaidOnceAndTheWindowKeepsWorking() {
#ifdef Q_OS_WIN
    QSKIP("a read-only tmpfs needs Linux");
#else
    if (::geteuid() != 0) QSKIP("needs root for a read-only tmpfs");
    QTemporaryDir folder;
    QVERIFY(QProcess::execute(QStringLiteral("mount"), {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                                                        QStringLiteral("ro,size=1m"), QStringLiteral("tmpfs"), folder.path()}) == 0);
    Scenario s;
    const QString path = rosterIn(s, {{"一班", classRows("一班", 6)}});
    const QByteArray original = fileBytes(path);
    Services services = s.fakes.services();
    services.dataFolder = folder.path();
    {
      FrmMd w(services);
      w.show();
      QTRY_COMPARE(said(s, QStringLiteral("无法写入程序的数据文件")), 1);
      QVERIFY(s.fakes.dialogs.messages.back().text.contains(QStringLiteral("文件夹或文件不允许写入")));
      w.formActivate();
      w.OptFl[0]->click();
      w.toggleAbsent(3);  // kept in memory
      QVERIFY(w.isAbsent(3));
      QCOMPARE(said(s, QStringLiteral("无法")), 1);
    }
    QProcess::execute(QStringLiteral("umount"), {QStringLiteral("-l"), folder.path()});
    QCOMPARE(fileBytes(path), original);
#endif
  }

  // The real program, twice with the same HOME: the second start hands over and ends; a
  // lock left by a killed window is taken over by the next start.
  void oneWindowPerUser() {
    QTemporaryDir home, rosters;
    const QString roster = QDir(rosters.path()).filePath(QStringLiteral("名单.xls"));
    writeWorkbook(roster, {{"一班", classRows("一班", 6)}});
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home.path());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.remove(QStringLiteral("XDG_DATA_HOME"));
    env.remove(QStringLiteral("XDG_CONFIG_HOME"));
#ifdef Q_OS_WIN
    // A portable copy of the program keeps its data in the folder `data` beside it.
    const QString program = QDir(home.path()).filePath(QStringLiteral("velquor.exe"));
    QVERIFY(QFile::copy(QStringLiteral(VELQUOR_PROGRAM), program));
    const QString data = QDir(home.path()).filePath(QStringLiteral("data"));
#else
    const QString program = QStringLiteral(VELQUOR_PROGRAM);
    const QString data = QDir(home.path()).filePath(QStringLiteral(".local/share/Velquor"));
#endif
    auto start = [&](QProcess& p, const QStringList& args) {
      p.setProcessEnvironment(env);
      p.setWorkingDirectory(rosters.path());
      p.start(program, args);
      QVERIFY(p.waitForStarted());
    };
    QProcess paths;
    start(paths, {QStringLiteral("--paths")});
    QVERIFY(paths.waitForFinished());
    const QString printed = QString::fromUtf8(paths.readAllStandardOutput());
    QVERIFY2(printed.contains(QStringLiteral("database: ") + QDir::toNativeSeparators(data + QStringLiteral("/velquor.db"))), qPrintable(printed));
    QVERIFY2(printed.contains(QStringLiteral("log: ") + QDir::toNativeSeparators(data + QStringLiteral("/velquor.log"))), qPrintable(printed));

    QProcess first;
    start(first, {});
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(QDir(data).filePath(QStringLiteral("velquor.lock"))), 10000);
    QProcess second;
    start(second, {QStringLiteral("名单.xls")});  // relative to the second start's folder
    QVERIFY(second.waitForFinished(15000));
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    QCOMPARE(first.state(), QProcess::Running);
    const QString log = QDir(data).filePath(QStringLiteral("velquor.log"));
    QTRY_VERIFY2_WITH_TIMEOUT(QString::fromUtf8(fileBytes(log)).contains(
                                 QStringLiteral("another start handed over to this window (roster: ") + roster + ')'), qPrintable(QString::fromUtf8(fileBytes(log))),
                             10000);

    first.kill();  // its lock file stays behind
    QVERIFY(first.waitForFinished());
    QVERIFY(QFile::exists(QDir(data).filePath(QStringLiteral("velquor.lock"))));
    QProcess third;
    start(third, {});
    QTest::qWait(3000);
    QCOMPARE(third.state(), QProcess::Running);  // took the lock over
    QProcess fourth;
    start(fourth, {});
    QVERIFY(fourth.waitForFinished(15000));
    QCOMPARE(fourth.exitCode(), 0);
    QCOMPARE(third.state(), QProcess::Running);
    third.kill();
    third.waitForFinished();
  }
};

QTEST_MAIN(TestProgramData)
#include "test_programdata.moc"

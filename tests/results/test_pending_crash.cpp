// Waiting marks and processes that die or compete: a mark taken while the roster is held
// survives the program being killed (SIGKILL) and is written exactly once by the real program
// at its next start; a save of waiting marks killed at random moments leaves every mark
// written exactly once after the next start; two processes writing the same waiting marks
// as their roster becomes free write each exactly once.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QThread>
#include <QTest>
#include <QRandomGenerator>
#include <cstdio>
#include <map>
#include <set>
#include <thread>

#include "core/filepath.h"
#include "results/pending.h"
#include "roster/workbook.h"
#include "store/programstore.h"
#include "tests/support/rosterfiles.h"
#include "tests/support/scenario.h"

using namespace velquor;
using namespace velquor::test;
using velquor::roster::Workbook;

namespace {

// The child: the real main window with the roster in `folder` and its data in `data`;
// student 3 gets 5 while the roster is held, then it waits to be killed.
int holdAndMark(int argc, char** argv) {
  QApplication app(argc, argv);
  FakeServices fakes;
  Services services = fakes.services();
  services.programFolder = QString::fromLocal8Bit(argv[2]);
  services.dataFolder = QString::fromLocal8Bit(argv[3]);
  FrmMd window(services);
  window.show();
  window.formActivate();
  window.OptFl[0]->click();
  window.CmbXm->setCurrentIndex(2);
  window.onCmbXmClick();
  window.Combo1[0]->setEditText(QStringLiteral("5"));
  window.CmdXie[1]->click();
  std::printf("%s\n", window.CmdXie[1]->isEnabled() ? "refused" : "marked");
  std::fflush(stdout);
  return app.exec();
}

double mark(const QString& path) { return Workbook::open(velquor::pathFromUtf8(path.toStdString())).cell(1, 5, 6).number; }

std::unique_ptr<store::Store> storeIn(const QString& data) {
  auto opened = store::Store::open(QDir(data).filePath(QStringLiteral("velquor.db")).toStdString(), "2026-12-05");
  if (opened.problem != store::Problem::None) qFatal("store: %s", opened.detail.c_str());
  return std::move(opened.store);
}

// Every roster with waiting writes, tried once, as the window's retry does.
void flushAll(results::PendingJournal& journal) {
  journal.sync();
  std::set<std::string> rosters;
  for (const auto& w : journal.writes()) rosters.insert(w.roster);
  for (const std::string& roster : rosters) {
    try {
      results::flushPending(journal, roster);
    } catch (const std::exception& e) {
      // held, missing or half-written: the next round tries again
      if (qEnvironmentVariableIsSet("VELQUOR_DEBUG_FLUSH")) qWarning("%s", e.what());
    }
  }
}

// The child: tries the waiting writes of the store in `data` until none is left ("--flush")
// or for ever ("--serve"), with a pause of up to a millisecond between tries.
int flushLoop(bool always, const char* data) {
  auto store = storeIn(QString::fromLocal8Bit(data));
  results::PendingJournal journal(*store);
  std::printf("ready\n");
  std::fflush(stdout);
  for (;;) {
    flushAll(journal);
    if (!always && journal.writes().empty()) return 0;
    std::this_thread::sleep_for(std::chrono::microseconds(QRandomGenerator::global()->bounded(1000)));
  }
}

results::PendingWrite markOf(const QString& roster, int student, int score) {
  results::PendingWrite w;
  w.roster = roster.toStdString();
  w.sheet = "一班";
  w.date = "12月05";
  w.number = std::to_string(student);
  w.name = "学生" + std::to_string(student);
  w.score = std::to_string(score);
  return w;
}

Workbook::SheetRows sixStudents() {
  Workbook::SheetRows rows = {{"一班"}, {"学号", "姓名", "", "", "组别"}};
  for (int i = 1; i <= 6; ++i) rows.push_back({std::to_string(i), "学生" + std::to_string(i)});
  return rows;
}

// Student i's mark today (column F, the first day column).
double dayMark(const QString& roster, int student) {
  return Workbook::open(velquor::pathFromUtf8(roster.toStdString())).cell(1, student + 2, 6).number;
}

void startChild(QProcess& child, const QString& mode, const QString& data) {
  child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  child.start(QCoreApplication::applicationFilePath(), {mode, data});
  QVERIFY(child.waitForStarted());
  // Waited for without polling, so the moment of the kill is measured from "ready".
  QByteArray said;
  while (!said.contains("ready\n")) {
    QVERIFY(child.waitForReadyRead(20000));
    said += child.readAllStandardOutput();
    said.replace("\r\n", "\n");  // Windows' text-mode output
  }
}

}  // namespace

class TestPendingCrash : public QObject {
  Q_OBJECT
 private slots:
  void aKilledProgramLosesNoMarkAndTheNextStartWritesItOnce() {
    QTemporaryDir folder, xdg;
    const QString path = QDir(folder.path()).filePath(QStringLiteral("点名册.xls"));
    Workbook::SheetRows rows = {{"一班"}, {"学号", "姓名", "", "", "组别"}};
    for (int i = 1; i <= 6; ++i) rows.push_back({std::to_string(i), "学生" + std::to_string(i)});
    writeWorkbook(path, {{"一班", rows}});
    const QString lock = QDir(folder.path()).filePath(QStringLiteral(".~lock.点名册.xls#"));
    QFile held(lock);
    QVERIFY(held.open(QIODevice::WriteOnly));
    held.close();
    const QByteArray original = fileBytes(path);
#ifdef Q_OS_WIN
    // A portable copy of the program beside the roster: its data in `data` there, and the
    // roster beside it is its default one.
    const QString programFile = QDir(folder.path()).filePath(QStringLiteral("velquor.exe"));
    QVERIFY(QFile::copy(QStringLiteral(VELQUOR_PROGRAM), programFile));
    const QString data = QDir(folder.path()).filePath(QStringLiteral("data"));
#else
    // The program keeps its data under XDG_DATA_HOME/<application name>.
    const QString programFile = QStringLiteral(VELQUOR_PROGRAM);
    const QString data = QDir(xdg.path()).filePath(QStringLiteral("Velquor"));
#endif

    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--hold-and-mark"), folder.path(), data});
    QVERIFY(child.waitForStarted());
    QByteArray said;
    QTRY_VERIFY_WITH_TIMEOUT((said += child.readAllStandardOutput()).contains("\n"), 20000);
    QCOMPARE(said.replace("\r\n", "\n"), QByteArray("marked\n"));  // Windows' text-mode output
    child.kill();  // SIGKILL: no close, no question, no clean-up
    QVERIFY(child.waitForFinished());
    QCOMPARE(child.exitStatus(), QProcess::CrashExit);
    QCOMPARE(fileBytes(path), original);
    QCOMPARE(storeIn(data)->pending().size(), std::size_t(1));

    QFile::remove(lock);
    QProcess program;
    env.insert(QStringLiteral("XDG_DATA_HOME"), xdg.path());
    program.setProcessEnvironment(env);
    program.setWorkingDirectory(folder.path());
    program.start(programFile, {});
    QVERIFY(program.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(fileBytes(path) != original, 20000);
    QTest::qWait(3500);  // past the next retry: nothing is added a second time
    program.kill();
    program.waitForFinished();
    QCOMPARE(mark(path), 5.0);
    QVERIFY(storeIn(data)->pending().empty());
  }

  void aSaveOfWaitingMarksKilledAtRandomMomentsWritesEveryMarkOnce() {
    std::map<QString, int> outcomes;
    for (int round = 0; round < 50; ++round) {
      QTemporaryDir folder;
      const QString data = QDir(folder.path()).filePath(QStringLiteral("data"));
      const QString roster = QDir(folder.path()).filePath(QStringLiteral("点名册.xls"));
      writeWorkbook(roster, {{"一班", sixStudents()}});
      std::map<int, int> expected;
      {
        auto store = storeIn(data);
        results::PendingJournal journal(*store);
        for (int k = 0; k < 5; ++k) {
          const int student = k % 3 + 1, score = k + 1;
          journal.add(markOf(roster, student, score));
          expected[student] += score;
        }
      }
      const QByteArray original = fileBytes(roster);
      QProcess child;
      startChild(child, QStringLiteral("--flush"), data);
      // Somewhere in opening the roster, claiming, saving and settling.
      QThread::usleep(QRandomGenerator::global()->bounded(15000));
      const bool finished = child.waitForFinished(0) || child.state() == QProcess::NotRunning;
      if (!finished) {
        child.kill();
        QVERIFY(child.waitForFinished());
      }
      {
        auto store = storeIn(data);
        const auto left = store->pending();
        const bool claimed = std::any_of(left.begin(), left.end(), [](const auto& w) { return w.commitHash != 0; });
        outcomes[finished || left.empty() ? QStringLiteral("all written")
                 : claimed ? (fileBytes(roster) == original ? QStringLiteral("killed before the new file was in place")
                                                            : QStringLiteral("killed after the new file was in place"))
                           : QStringLiteral("killed before claiming")] += 1;
        // The next start.
        results::PendingJournal journal(*store);
        journal.settleInterruptedSaves();
        flushAll(journal);
        // Killed between creating its lock file and writing its line, the save leaves an
        // empty lock file: the roster looks held by an unknown program until the teacher
        // releases it ("解除占用…"), as here.
        const QString lockFile = QDir(folder.path()).filePath(QStringLiteral(".~lock.点名册.xls#"));
        if (!journal.writes().empty() && QFileInfo(lockFile).size() == 0 && QFile::exists(lockFile)) {
          outcomes[QStringLiteral("killed with its lock file empty (released)")] += 1;
          Workbook book = Workbook::open(velquor::pathFromUtf8(roster.toStdString()));
          QVERIFY(book.removeStaleLock(book.lock()));
          flushAll(journal);
        }
        QVERIFY(journal.writes().empty());
      }
      for (int student = 1; student <= 6; ++student) QCOMPARE(dayMark(roster, student), double(expected[student]));
    }
    for (const auto& [outcome, n] : outcomes) qInfo("%s: %d", qPrintable(outcome), n);
  }

  void twoProcessesWriteTheSameWaitingMarksOnce() {
    QTemporaryDir folder;
    const QString data = QDir(folder.path()).filePath(QStringLiteral("data"));
    auto store = storeIn(data);
    results::PendingJournal journal(*store);
    QProcess first, second;
    startChild(first, QStringLiteral("--serve"), data);
    startChild(second, QStringLiteral("--serve"), data);
    for (int round = 0; round < 200; ++round) {
      // A new roster each round, held by another program while its marks are kept.
      const QString roster = QDir(folder.path()).filePath(QStringLiteral("r%1.xls").arg(round));
      QFile lock(QDir(folder.path()).filePath(QStringLiteral(".~lock.r%1.xls#").arg(round)));
      QVERIFY(lock.open(QIODevice::WriteOnly));
      lock.write("王老师,teacher,classroom-pc,05.12.2026 09:00,file:///home/teacher;\n");
      lock.close();
      writeWorkbook(roster, {{"一班", sixStudents()}});
      std::map<int, int> expected;
      for (int k = 0; k < 4; ++k) {
        const int student = (round + k) % 6 + 1, score = k + 1;
        journal.add(markOf(roster, student, score));
        expected[student] += score;
      }
      QVERIFY(lock.remove());  // free: both try at once
      QTRY_VERIFY_WITH_TIMEOUT((journal.sync(), journal.writes().empty()), 20000);
      for (int student = 1; student <= 6; ++student) QCOMPARE(dayMark(roster, student), double(expected[student]));
    }
    first.kill();
    second.kill();
    first.waitForFinished();
    second.waitForFinished();
  }
};

int main(int argc, char** argv) {
  if (argc == 4 && QByteArray(argv[1]) == "--hold-and-mark") return holdAndMark(argc, argv);
  if (argc == 3 && (QByteArray(argv[1]) == "--flush" || QByteArray(argv[1]) == "--serve"))
    return flushLoop(QByteArray(argv[1]) == "--serve", argv[2]);
  QApplication app(argc, argv);
  TestPendingCrash test;
  return QTest::qExec(&test, argc, argv);
}

#include "test_pending_crash.moc"

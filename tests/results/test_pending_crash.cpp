// A mark taken while the roster is held survives the program being killed (SIGKILL) and
// is written exactly once by the real program at its next start.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>

#include "roster/workbook.h"
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

double mark(const QString& path) { return Workbook::open(path.toStdString()).cell(1, 5, 6).number; }

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
    // The program keeps its data under XDG_DATA_HOME/<application name>.
    const QString data = QDir(xdg.path()).filePath(QStringLiteral("Velquor"));

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
    QVERIFY(QFile::exists(QDir(data).filePath(QStringLiteral("pending.txt"))));

    QFile::remove(lock);
    QProcess program;
    env.insert(QStringLiteral("XDG_DATA_HOME"), xdg.path());
    program.setProcessEnvironment(env);
    program.setWorkingDirectory(folder.path());
    program.start(QStringLiteral(VELQUOR_PROGRAM), {});
    QVERIFY(program.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(fileBytes(path) != original, 20000);
    QTest::qWait(3500);  // past the next retry: nothing is added a second time
    program.kill();
    program.waitForFinished();
    QCOMPARE(mark(path), 5.0);
    QVERIFY(!QFile::exists(QDir(data).filePath(QStringLiteral("pending.txt"))));
  }
};

int main(int argc, char** argv) {
  if (argc == 4 && QByteArray(argv[1]) == "--hold-and-mark") return holdAndMark(argc, argv);
  QApplication app(argc, argv);
  TestPendingCrash test;
  return QTest::qExec(&test, argc, argv);
}

#include "test_pending_crash.moc"

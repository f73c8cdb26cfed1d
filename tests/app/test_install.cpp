// Where an installed or portable program finds its data files and the teacher's roster,
// and the sample roster an installed program offers.
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

#include "app/datafiles.h"
#include "app/frmqd.h"
#include "app/version.h"
#include "app/widgets.h"
#include "tests/support/rosterfiles.h"
#include "tests/support/scenario.h"

using namespace velquor;
using namespace velquor::test;

namespace {

void touch(const QString& path) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write("x");
}

QByteArray contents(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A program folder laid out as an installation: prefix/bin beside prefix/share/velquor, and on
// Windows the installer's uninstaller beside the program.
QString installedProgramFolder(const QTemporaryDir& prefix) {
  QDir(prefix.path()).mkpath(QStringLiteral("share/velquor"));
  QDir(prefix.path()).mkpath(QStringLiteral("bin"));
#ifdef _WIN32
  QFile uninstaller(prefix.filePath(QStringLiteral("bin/uninstall.exe")));
  if (uninstaller.open(QIODevice::WriteOnly)) uninstaller.close();
#endif
  return prefix.filePath(QStringLiteral("bin"));
}

}  // namespace

class TestInstall : public QObject {
  Q_OBJECT
 private slots:
  void dataFilesAreFoundBesideAnInstalledProgramAndInTheDesktopDataFolders() {
    QTemporaryDir prefix, current, userData;
    const QString program = installedProgramFolder(prefix);
    const QStringList folders = dataFolders(current.path(), program);
    QCOMPARE(folders.mid(0, 3),
             QStringList({current.path(), program, QDir::cleanPath(prefix.filePath(QStringLiteral("share/velquor")))}));
    QStringList unique = folders;
    QCOMPARE(unique.removeDuplicates(), 0);

#ifdef _WIN32
    QSKIP("the desktop data folders named by XDG_DATA_HOME exist on the POSIX desktops only");
#endif
    // The user's own data folder (XDG_DATA_HOME) is searched as velquor/… below it.
    qputenv("XDG_DATA_HOME", QFile::encodeName(userData.path()));
    const QString cue = userData.filePath(QStringLiteral("velquor/sound/extra.wav"));
    QVERIFY(dataFolders(current.path(), program).contains(userData.filePath(QStringLiteral("velquor"))));
    const QString saved = QDir::currentPath();
    QDir::setCurrent(current.path());
    QCOMPARE(findDataFile(QStringLiteral("sound\\extra.wav")), QString());
    touch(cue);
    QCOMPARE(findDataFile(QStringLiteral("sound\\extra.wav")), cue);
    // The current folder comes first.
    touch(current.filePath(QStringLiteral("sound/extra.wav")));
    QCOMPARE(findDataFile(QStringLiteral("sound/extra.wav")), current.filePath(QStringLiteral("sound/extra.wav")));
    QDir::setCurrent(saved);
    qunsetenv("XDG_DATA_HOME");
  }

  void theDefaultRosterIsBesideTheProgramElseInTheDocuments() {
    QTemporaryDir portable, prefix, documents;
    const QString name = QStringLiteral("点名册.xls");
    // Nothing anywhere: a portable program keeps its own folder and opens the file dialog;
    // an installed one offers the sample in the documents folder.
    DefaultRoster r = locateDefaultRoster(portable.path(), documents.path());
    QCOMPARE(r.path, portable.filePath(name));
    QVERIFY(!r.exists && !r.offerSample);
    const QString installed = installedProgramFolder(prefix);
    QVERIFY(isInstalledProgram(installed) && !isInstalledProgram(portable.path()));
    r = locateDefaultRoster(installed, documents.path());
    QCOMPARE(r.path, documents.filePath(name));
    QVERIFY(!r.exists && r.offerSample);
    // A roster in the documents folder serves both; one beside the program wins.
    touch(documents.filePath(name));
    r = locateDefaultRoster(portable.path(), documents.path());
    QCOMPARE(r.path, documents.filePath(name));
    QVERIFY(r.exists && !r.offerSample);
    touch(portable.filePath(name));
    QCOMPARE(locateDefaultRoster(portable.path(), documents.path()).path, portable.filePath(name));
  }

  void theSampleRosterIsWrittenAsAnOrdinaryFileAndNeverOverAnother() {
    QTemporaryDir documents;
    const QString path = documents.filePath(QStringLiteral("新建/点名册.xls"));
    QVERIFY(copySampleRoster(path));
    QCOMPARE(contents(path), contents(QStringLiteral(VELQUOR_SOURCE_DIR "/roster/sample/点名册.xls")));
    QVERIFY(QFile::permissions(path) & QFileDevice::WriteOwner);
    // A teacher's own roster at that place stays as it is.
    QFile mine(path);
    QVERIFY(mine.open(QIODevice::WriteOnly | QIODevice::Truncate));
    mine.write("my marks");
    mine.close();
    QVERIFY(!copySampleRoster(path));
    QCOMPARE(contents(path), QByteArray("my marks"));
  }

  void anInstalledProgramOffersTheSampleRosterOnItsFirstNameList() {
    QTemporaryDir prefix;
    {
      // Declined: nothing is written, and the teacher chooses a file instead.
      Scenario s;
      s.programFolder = installedProgramFolder(prefix);
      FrmMd& w = s.start();
      w.OptFl[0]->click();
      QCOMPARE(s.fakes.dialogs.questions.size(), std::size_t{1});
      QCOMPARE(s.fakes.dialogs.questions[0].title, applicationTitle());
      QVERIFY(s.fakes.dialogs.fileDialogCount > 0);
      QVERIFY(QDir(s.fakes.documentsFolder.path()).isEmpty());
    }
    // Taken: the sample is written to the documents folder and its classes are listed.
    Scenario s;
    s.programFolder = installedProgramFolder(prefix);
    s.fakes.dialogs.askAnswers = {true};
    FrmMd& w = s.start();
    w.OptFl[0]->click();
    const QString sample = QDir(s.fakes.documentsFolder.path()).filePath(QStringLiteral("点名册.xls"));
    QCOMPARE(s.fakes.dialogs.questions.size(), std::size_t{1});
    QVERIFY(s.fakes.dialogs.questions[0].text.contains(QDir::toNativeSeparators(s.fakes.documentsFolder.path())));
    QCOMPARE(s.fakes.dialogs.fileDialogCount, 0);
    QVERIFY(s.fakes.dialogs.messages.empty());
    QCOMPARE(w.rosterPath, sample);
    QVERIFY(w.cmbXls->count() > 0);
    QVERIFY(w.studentCount > 1);
    // The next start finds it there and asks nothing.
    Scenario again;
    again.programFolder = s.programFolder;
    FrmMd& w2 = again.start();
    copyFixture(QStringLiteral("lo-roster3.xls"), again.fakes.documentsFolder.path());
    w2.OptFl[0]->click();
    QVERIFY(again.fakes.dialogs.questions.empty());
    QCOMPARE(again.fakes.dialogs.fileDialogCount, 0);
    QCOMPARE(w2.rosterPath, QDir(again.fakes.documentsFolder.path()).filePath(QStringLiteral("点名册.xls")));
    QCOMPARE(w2.cmbXls->count(), 3);
  }

  void theIntroductionShowsTheVersion() {
    FrmQd about(nullptr, QStringLiteral("没有这个文件.txt"));
    QCOMPARE(about.lblBb->caption(), QStringLiteral("版本 ") + QString::fromLatin1(kVersion));
    QVERIFY(QString::fromLatin1(kVersion).contains(QLatin1Char('.')));
  }
};

QTEST_MAIN(TestInstall)
#include "test_install.moc"

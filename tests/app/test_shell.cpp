// Start-up, the main window's start state, the introduction window and the sound cue.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>
#include <stdexcept>

#include "app/frmfm.h"
#include "app/frmqd.h"
#include "app/playwave.h"
#include "tests/support/scenario.h"
#include "app/widgets.h"

using namespace velquor;
using namespace velquor::test;

namespace {

QRect twips(QWidget* w) { return twipsGeometry(w); }

FrmQd* openIntroduction(FrmMd& window) {
  window.MnBz[0]->trigger();
  FrmQd* about = window.findChild<FrmQd*>(QStringLiteral("FrmQd"));
  return about;
}

void writeFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write(bytes);
}

class ThrowingSound : public SoundPlayer {
 public:
  void play(const QString&) override { throw std::runtime_error("no audio device"); }
};

}  // namespace

class TestShell : public QObject {
  Q_OBJECT
 private slots:
  void splashShowsTheMainWindowOnTheFourthTickOnly() {
    int shown = 0;
    auto* splash = new FrmFm([&] { ++shown; });
    QPointer<FrmFm> guard(splash);
    splash->show();
    QVERIFY(splash->Label2[1]->isVisible());
    QVERIFY(!splash->Label2[0]->isVisible() && !splash->Label2[2]->isVisible());
    QCOMPARE(splash->Label1->caption(), QStringLiteral("Velquor"));
    QCOMPARE(splash->size(), QSize(479, 360));
    splash->Timer1->stop();  // ticks are driven by hand here
    for (int i = 0; i < 3; ++i) splash->onTimer1Tick();
    QCOMPARE(shown, 0);
    splash->onTimer1Tick();
    QCOMPARE(shown, 1);
    QTRY_VERIFY(guard.isNull());  // closed for good
  }

  void splashTimerRunsByItself() {
    int shown = 0;
    auto* splash = new FrmFm([&] { ++shown; });
    QPointer<FrmFm> guard(splash);
    splash->show();
    QCOMPARE(splash->Timer1->interval(), 500);
    QTRY_COMPARE_WITH_TIMEOUT(shown, 1, 5000);
    QTRY_VERIFY(guard.isNull());
    QTest::qWait(600);
    QCOMPARE(shown, 1);
  }

  void clickOnTheBackgroundSkipsTheSplashButNotOnItsTitle() {
    int shown = 0;
    auto* splash = new FrmFm([&] { ++shown; });
    QPointer<FrmFm> guard(splash);
    splash->show();
    QVERIFY(QTest::qWaitForWindowExposed(splash));
    QTest::mouseClick(splash->Label1, Qt::LeftButton);
    QCOMPARE(shown, 0);
    QTest::mouseClick(splash, Qt::LeftButton, {}, QPoint(5, 5));
    QCOMPARE(shown, 1);
    QTRY_VERIFY(guard.isNull());
    QTest::qWait(2200);  // later ticks must not open a second main window
    QCOMPARE(shown, 1);
  }

  void mainWindowHasEveryControlByName() {
    Scenario s;
    FrmMd& w = s.start();
    const QStringList names = {
        "FraFl", "frSz", "FrXls", "fraXr", "FrZr", "fraJf", "fraJs", "frXx", "lblXm", "lblSj", "LabXx",
        "Timer1", "timJs", "OptFl(0)", "OptFl(1)", "OptFl(2)", "LblVal1", "txtXh(0)", "LblVal2", "txtXh(1)",
        "Label4", "cmbXh", "Label3(1)", "txtFn", "Image1", "Label3(2)", "cmbXls", "Image2", "OptDmFs(0)",
        "OptDmFs(1)", "chkGd", "OptFz(0)", "txtFz(0)", "OptFz(1)", "txtFz(1)", "CmdFz(0)", "CmdFz(1)",
        "CmdXie(0)", "CmbXm", "chkXx", "Combo1(0)", "Command1(0)", "Command1(1)", "CmdXie(1)", "Combo1(1)",
        "Command1(2)", "Command1(3)", "cmbJsDw", "cmbJsFs", "CmdJs", "Label1(0)", "LabCz", "cmdNext(0)",
        "cmdNext(1)", "List2", "List1", "MnFenLei", "MnFangShi", "MnMingdanshizhi", "MnXianshi", "MnJishi",
        "MnGuanYu", "MnFl(0)", "MnFl(1)", "MnFl(2)", "MnFs(0)", "MnFs(1)", "MnFs(2)", "MnSz(0)", "MnSz(1)",
        "MnSz(2)", "MnSz(3)", "MnBj(0)", "MnXs(0)", "MnXs(1)", "MnXs(2)", "MnJs(0)", "MnJs(1)", "MnJs(2)",
        "MnBz(0)"};
    for (const QString& name : names) QVERIFY2(w.findChild<QObject*>(name), qPrintable(name));
    QCOMPARE(w.windowTitle(), QStringLiteral("Velquor"));
    QCOMPARE(w.centralWidget()->size(), QSize(628, 637));
  }

  void mainWindowDesignValues() {
    Scenario s;
    FrmMd& w = s.start();
    QCOMPARE(twips(w.FraFl), QRect(1140, 390, 885, 1515));
    QCOMPARE(twips(w.FrXls), QRect(2040, 390, 4965, 1515));
    QCOMPARE(twips(w.frSz), twips(w.FrXls).adjusted(0, 0, 2565 - 4965, 0));
    QCOMPARE(twips(w.lblXm).size(), QSize(9285, 4035));
    QCOMPARE(w.lblXm->geometry().size(), QSize(619, 269));
    QCOMPARE(twips(w.List1), QRect(690, 840, 6135, 3705));
    QCOMPARE(twips(w.Command1[3]), QRect(750, 600, 195, 180));
    QCOMPARE(w.Combo1[0]->currentText(), QStringLiteral("5"));
    QCOMPARE(w.Combo1[0]->count(), 11);
    QCOMPARE(w.Combo1[0]->itemText(10), QStringLiteral("-5"));
    QCOMPARE(w.Combo1[1]->itemText(5), QStringLiteral("10"));
    QVERIFY(w.Combo1[0]->isEditable() && w.Combo1[1]->isEditable() && w.cmbXls->isEditable());
    QVERIFY(!w.cmbXh->isEditable() && !w.CmbXm->isEditable() && !w.cmbJsDw->isEditable() &&
            !w.cmbJsFs->isEditable());
    QCOMPARE(w.cmbXls->currentText(), QStringLiteral("Combo1"));
    QCOMPARE(w.txtFn->text(), QStringLiteral("点名册.xls"));
    QCOMPARE(w.Image1->toolTip(), QStringLiteral("寻找名单文件"));
    QCOMPARE(w.Image2->toolTip(), QStringLiteral("浏览名单内容"));
    QVERIFY(!w.CmdFz[0]->isEnabled() && !w.CmdFz[1]->isEnabled() && !w.CmdXie[0]->isEnabled());
    QVERIFY(w.CmdXie[1]->isEnabled());
    QVERIFY(w.OptDmFs[0]->isChecked() && w.chkGd->isChecked() && w.MnFs[2]->isChecked());
    QVERIFY(w.MnJs[0]->isChecked() && !w.MnJs[1]->isChecked());
    QCOMPARE(w.Timer1->interval(), 50);
    QCOMPARE(w.timJs->interval(), 1000);
    QVERIFY(!w.Timer1->isActive() && !w.timJs->isActive());
    QCOMPARE(w.CmdJs->text(), QStringLiteral("计时"));
    QCOMPARE(w.MnBj.size(), std::size_t(1));
    QCOMPARE(w.MnBj[0]->text(), QStringLiteral("班级1"));
    QCOMPARE(w.MnSz[1]->menu(), w.classMenu);
    // Frames lie above the three large labels.
    const QObjectList order = w.centralWidget()->children();
    for (QWidget* label : {static_cast<QWidget*>(w.lblXm), static_cast<QWidget*>(w.lblSj),
                           static_cast<QWidget*>(w.LabXx)})
      for (QWidget* frame : {w.FraFl, w.frSz, w.FrXls, w.fraXr, w.FrZr, w.fraJf, w.fraJs, w.frXx})
        QVERIFY(order.indexOf(label) < order.indexOf(frame));
    QCOMPARE(w.lblXm->font().pixelSize(), 96);
    QVERIFY(w.lblXm->font().bold());
  }

  void loadAndFirstActivation() {
    Scenario s;
    FrmMd& w = s.start();
    QCOMPARE(twips(w.frXx), QRect(1140, 3495, 6885, 4665));
    QCOMPARE(twips(w.lblSj).y(), 7175);
    QCOMPARE(w.cmbJsDw->currentText(), QStringLiteral("秒"));
    QCOMPARE(w.cmbJsFs->currentText(), QStringLiteral("正计时"));
    QCOMPARE(w.firstActivationPending, 0);
    QVERIFY(w.OptFl[2]->isChecked());
    QVERIFY(!w.OptFl[0]->isChecked() && !w.OptFl[1]->isChecked());
    QCOMPARE(w.rollCategory, 2);
    QVERIFY(!w.MnFl[2]->isEnabled() && w.MnFl[0]->isEnabled() && w.MnFl[1]->isEnabled());
    QCOMPARE(w.lblXm->caption(), QStringLiteral("行列\r\n点名"));
    QCOMPARE(w.pickPoolCount, 48);
    // Later activations change nothing.
    w.MnFl[1]->trigger();
    QCOMPARE(w.rollCategory, 1);
    w.formActivate();
    QCOMPARE(w.rollCategory, 1);
    QVERIFY(w.OptFl[2]->isChecked());
  }

  void aDoubleClickOnALabelIsOneClick() {
    const QString saved = QDir::currentPath();
    QDir::setCurrent(QStringLiteral(VELQUOR_SOURCE_DIR));  // the sound cues
    Scenario s;
    FrmMd& w = s.start();
    // Two presses in quick succession through the window system, as the mouse sends them.
    auto doubleClick = [&w](QWidget* label) {
      QTest::mouseDClick(w.windowHandle(), Qt::LeftButton, Qt::NoModifier, label->mapTo(&w, label->rect().center()));
    };
    doubleClick(w.lblXm);  // rolling is on: it starts, and the second press does not stop it
    QVERIFY(w.Timer1->isActive());
    QCOMPARE(s.fakes.sound.played, QStringList({"type0.wav"}));
    QTest::mouseClick(w.lblXm, Qt::LeftButton);
    QVERIFY(!w.Timer1->isActive());
    s.fakes.sound.played.clear();
    doubleClick(w.lblSj);
    QCOMPARE(w.CmdJs->text(), QStringLiteral("暂停"));
    QCOMPARE(s.fakes.sound.played, QStringList({"start.wav"}));
    QDir::setCurrent(saved);
  }

  void introductionWindowReadsTheFileAtEveryOpening() {
    QTemporaryDir dir;
    const QString saved = QDir::currentPath();
    QDir::setCurrent(dir.path());
    const QString file = dir.filePath(QStringLiteral("说明文档.txt"));
    Scenario s;
    FrmMd& w = s.start();

    writeFile(file, "first\r\nsecond\r\n");
    FrmQd* about = openIntroduction(w);
    QVERIFY(about);
    QVERIFY(about->isModal());
    QCOMPARE(about->windowTitle(), QStringLiteral(" 简介"));
    QCOMPARE(about->boxText(), QStringLiteral("\r\nfirst\r\nsecond"));
    QCOMPARE(about->Text1->toPlainText().split(QLatin1Char('\n')).size(), 3);
    about->close();
    QTRY_VERIFY(!w.findChild<FrmQd*>(QStringLiteral("FrmQd")));

    writeFile(file, "");
    about = openIntroduction(w);
    QCOMPARE(about->boxText(), QString());
    about->close();
    QTRY_VERIFY(!w.findChild<FrmQd*>(QStringLiteral("FrmQd")));

    // GBK (the classic code page), a lone CR as terminator.
    writeFile(file, QByteArray("\xc4\xe3\xba\xc3\r\xca\xc0\xbd\xe7"));
    about = openIntroduction(w);
    QCOMPARE(about->boxText(), QStringLiteral("\r\n你好\r\n世界"));
    about->close();
    QTRY_VERIFY(!w.findChild<FrmQd*>(QStringLiteral("FrmQd")));

    // UTF-8 with a byte-order mark, Unix line ends.
    writeFile(file, QByteArray("\xEF\xBB\xBF") + QStringLiteral("点名\n分组\n").toUtf8());
    about = openIntroduction(w);
    QCOMPARE(about->boxText(), QStringLiteral("\r\n点名\r\n分组"));
    about->close();
    QTRY_VERIFY(!w.findChild<FrmQd*>(QStringLiteral("FrmQd")));

    // A missing file still opens the window with an explanation.
    FrmQd missing(nullptr, QStringLiteral("没有这个文件.txt"));
    QVERIFY(missing.boxText().contains(QStringLiteral("没有这个文件.txt")));
    QVERIFY(missing.Text1->toPlainText().contains(QStringLiteral("程序的其他功能不受影响")));
    QDir::setCurrent(saved);
  }

  void soundCueFindsItsFileOrAsksForTheDefault() {
    QTemporaryDir dir;
    const QString saved = QDir::currentPath();
    QDir::setCurrent(dir.path());
    FakeSound sound;
    QDir(dir.path()).mkpath(QStringLiteral("sound"));
    writeFile(dir.filePath(QStringLiteral("sound/yes.wav")), "RIFF");
    PlayWave(&sound, QStringLiteral("sound\\yes.wav"));
    PlayWave(&sound, QStringLiteral("sound/missing.wav"));
    QCOMPARE(sound.played, QStringList({QStringLiteral("yes.wav"), QString()}));
    QCOMPARE(findDataFile(QStringLiteral("sound/yes.wav")), QDir(dir.path()).filePath(QStringLiteral("sound/yes.wav")));
    // Not in the current folder: the program's folder is the second place to look.
    QFile::remove(dir.filePath(QStringLiteral("sound/yes.wav")));
    const QString besideProgram = QCoreApplication::applicationDirPath() + QStringLiteral("/sound/yes.wav");
    QCOMPARE(findDataFile(QStringLiteral("sound/yes.wav")), QFile::exists(besideProgram) ? besideProgram : QString());
    // The player's default sound is built into the program.
    QVERIFY(QFile::exists(QStringLiteral(":/velquor/default.wav")));
    // A failing player never reaches the caller.
    ThrowingSound broken;
    PlayWave(&broken, QStringLiteral("sound/type.wav"));
    PlayWave(nullptr, QStringLiteral("sound/type.wav"));
    QDir::setCurrent(saved);
  }
};

QTEST_MAIN(TestShell)
#include "test_shell.moc"

// Roll call in the real main window, offscreen: categories, ranges, picks with and
// without the rolling display, the order and rolling switches, manual calls and the
// display modes.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>
#include <set>

#include "tests/support/scenario.h"
#include "app/widgets.h"

using namespace velquor;
using namespace velquor::test;

namespace {

const QString kSeatStart = QStringLiteral("行列\r\n点名");
const QString kRefusal = QStringLiteral("请检查数据的合理性");

// The sound cues are found in the current folder; each test runs in a fresh one.
struct SoundFolder {
  QTemporaryDir dir;
  QString saved = QDir::currentPath();
  SoundFolder() {
    QDir(dir.path()).mkpath(QStringLiteral("sound"));
    for (const char* name : {"type.wav", "type0.wav"})
      QFile::copy(QStringLiteral(VELQUOR_SOURCE_DIR "/sound/") + QLatin1String(name),
                  dir.filePath(QStringLiteral("sound/") + QLatin1String(name)));
    QDir::setCurrent(dir.path());
  }
  ~SoundFolder() { QDir::setCurrent(saved); }
};

// Starts the window like Scenario::start, optionally with another random generator.
FrmMd& startWindow(Scenario& s, RandomSource* random = nullptr) {
  Services services = s.fakes.services();
  if (random) services.random = random;
  s.window = std::make_unique<FrmMd>(services);
  s.window->show();
  s.window->activateWindow();
  QApplication::setActiveWindow(s.window.get());
  if (!QTest::qWaitForWindowActive(s.window.get())) s.window->formActivate();
  return *s.window;
}

QRect twips(QWidget* w) { return twipsGeometry(w); }
bool shown(QWidget* w) { return !w->isHidden(); }

// Types a range into the two boxes and moves the focus on, as a teacher tabbing out.
void typeRange(FrmMd& w, const QString& low, const QString& high) {
  w.txtXh[0]->setFocus(Qt::MouseFocusReason);
  w.txtXh[0]->setText(low);
  w.txtXh[1]->setFocus(Qt::MouseFocusReason);  // box 0 loses the focus
  w.txtXh[1]->setText(high);
  w.OptDmFs[0]->setFocus(Qt::MouseFocusReason);  // box 1 loses the focus
}

// Sets both boxes and moves the focus out of the second one only.
void leaveSecondBox(FrmMd& w, const QString& low, const QString& high) {
  w.txtXh[0]->setText(low);
  w.txtXh[1]->setText(high);
  w.txtXh[1]->setFocus(Qt::MouseFocusReason);
  w.OptDmFs[0]->setFocus(Qt::MouseFocusReason);
}

void click(QWidget* widget) { QTest::mouseClick(widget, Qt::LeftButton); }

void rollingOff(FrmMd& w) {
  click(w.chkGd);
  QVERIFY(!w.chkGd->isChecked());
}

QStringList comboTexts(QComboBox* combo) {
  QStringList texts;
  for (int i = 0; i < combo->count(); ++i) texts.append(combo->itemText(i));
  return texts;
}

std::vector<int> liveEntries(const FrmMd& w) {
  std::vector<int> values;
  const auto& entries = std::get<rollcall::RangeTable>(w.pickPool);
  for (int i = 1; i <= w.pickPoolCount; ++i)
    values.push_back(entries[static_cast<std::size_t>(i)].toInteger().value_or(-99));
  return values;
}

// A class of `n` students numbered 1..n, split in list order into groups of `size`, shown
// as the grouping would show it (group 1 selected).
void installClass(FrmMd& w, int n, int size, const std::vector<int>& poolStudents) {
  rollcall::NameTable students(static_cast<std::size_t>(n) + 1);
  for (int i = 1; i <= n; ++i)
    students[static_cast<std::size_t>(i)] = {Variant::fromNumber(i), Variant::fromText("学生" + std::to_string(i)),
                                             Variant::fromNumber(i + 2)};
  rollcall::NamePool pool(static_cast<std::size_t>(n) + 1);
  int count = 0;
  for (int student : poolStudents)
    pool[static_cast<std::size_t>(++count)] = {Variant::fromNumber(student), Variant::fromNumber(student),
                                               Variant::fromNumber(student + 2)};
  w.installNameList(students, pool, count);
  w.groupCount = (n + size - 1) / size;
  w.groupTable.reset(w.groupCount);
  w.List2->clear();
  for (int g = 1; g <= w.groupCount; ++g) {
    for (int i = (g - 1) * size + 1; i <= std::min(n, g * size); ++i)
      w.groupTable.members(g).push_back({students[static_cast<std::size_t>(i)].number,
                                         students[static_cast<std::size_t>(i)].name, i});
    w.List2->addItem(QString::number(g));
  }
  w.setListIndex(w.List2, 0, &FrmMd::onList2Click);
}

}  // namespace

class TestRollcallWindow : public QObject {
  Q_OBJECT
 private slots:
  void startsInTheSeatCategory() {
    Scenario s;
    FrmMd& w = startWindow(s);
    QCOMPARE(w.rollCategory, 2);
    QCOMPARE(w.lblXm->caption(), kSeatStart);
    QVERIFY(w.lblXm->isEnabled());
    QCOMPARE(w.LblVal1->caption(), QStringLiteral("行数"));
    QCOMPARE(w.LblVal2->caption(), QStringLiteral("列数"));
    QCOMPARE(w.txtXh[0]->text(), QStringLiteral("6"));
    QCOMPARE(w.txtXh[1]->text(), QStringLiteral("8"));
    QVERIFY(w.MnFl[0]->isEnabled() && w.MnFl[1]->isEnabled() && !w.MnFl[2]->isEnabled());
    QCOMPARE(w.cmbXh->count(), 48);
    QCOMPARE(w.cmbXh->itemText(0), QStringLiteral("1行1列"));
    QCOMPARE(w.cmbXh->itemText(47), QStringLiteral("6行8列"));
    QCOMPARE(w.cmbXh->currentIndex(), -1);
    QCOMPARE(w.studentCount, 48);
    QCOMPARE(w.pickPoolCount, 48);
    QCOMPARE(liveEntries(w).back(), 48);
    QCOMPARE(w.rangeLow, 6);
    QCOMPARE(w.rangeHigh, 8);
    QCOMPARE(w.pickPos, 0);
    QCOMPARE(w.currentValue, 0);
    // The seat layout.
    QVERIFY(shown(w.frSz) && shown(w.fraXr) && shown(w.FraFl) && shown(w.fraJs));
    QVERIFY(!shown(w.FrXls) && !shown(w.FrZr) && !shown(w.fraJf) && !shown(w.LabXx) && !shown(w.frXx));
    QVERIFY(!w.MnMingdanshizhi->menuAction()->isVisible());
    QVERIFY(w.MnXianshi->menuAction()->isVisible());
    QVERIFY(!w.MnXs[2]->isVisible() && w.MnXs[1]->isVisible());
    QCOMPARE(twips(w.fraJs), QRect(4905, 390, 1725, 1515));
    QVERIFY(!w.Timer1->isActive());
    QVERIFY(s.fakes.dialogs.messages.empty());
  }

  void categorySwitchesByOptionAndByMenu() {
    SoundFolder folder;
    Scenario s;
    FrmMd& w = startWindow(s);

    click(w.OptFl[1]);
    QCOMPARE(w.rollCategory, 1);
    QCOMPARE(w.lblXm->caption(), QStringLiteral("号码\r\n点名"));
    QCOMPARE(w.LblVal1->caption(), QStringLiteral("最小值"));
    QCOMPARE(w.LblVal2->caption(), QStringLiteral("最大值"));
    QCOMPARE(w.txtXh[0]->text(), QStringLiteral("1"));
    QCOMPARE(w.txtXh[1]->text(), QStringLiteral("48"));
    QCOMPARE(w.cmbXh->count(), 48);
    QCOMPARE(w.cmbXh->itemText(0), QStringLiteral("1号"));
    QCOMPARE(w.cmbXh->itemText(47), QStringLiteral("48号"));
    QCOMPARE(w.pickPoolCount, 48);
    QVERIFY(!w.MnFl[1]->isEnabled() && w.MnFl[2]->isEnabled() && w.MnFl[0]->isEnabled());
    QCOMPARE(twips(w.fraJs), QRect(4905, 390, 1725, 1515));

    // A typed range is not kept over a switch; the menu leaves the option buttons alone.
    typeRange(w, QStringLiteral("5"), QStringLiteral("30"));
    QCOMPARE(w.pickPoolCount, 26);
    w.MnFl[2]->trigger();
    QCOMPARE(w.rollCategory, 2);
    QVERIFY(w.OptFl[1]->isChecked() && !w.OptFl[2]->isChecked());
    QCOMPARE(w.lblXm->caption(), kSeatStart);
    QCOMPARE(w.pickPoolCount, 48);
    w.MnFl[1]->trigger();
    QCOMPARE(w.txtXh[0]->text(), QStringLiteral("1"));
    QCOMPARE(w.txtXh[1]->text(), QStringLiteral("48"));
    QCOMPARE(w.rangeLow, 1);
    QCOMPARE(w.rangeHigh, 48);
    w.MnFl[1]->trigger();  // the current category's entry is disabled: nothing happens
    QCOMPARE(w.rollCategory, 1);

    // A rolling display, pickPos and the last value survive a switch.
    click(w.lblXm);
    QVERIFY(w.Timer1->isActive());
    QTRY_VERIFY(w.pickPos > 0);
    const int pickPos = w.pickPos;
    w.Timer1->stop();
    w.Timer1->start(3600000);  // keep it "running" without further ticks
    w.MnFl[0]->trigger();
    QVERIFY(w.Timer1->isActive());
    QCOMPARE(w.pickPos, pickPos);

    // The name list: its frames, the detailed display, today's date and the roster file.
    QCOMPARE(w.rollCategory, 0);
    QVERIFY(w.OptFl[1]->isChecked());
    QCOMPARE(w.lblXm->caption(), QStringLiteral("名单\r\n点名"));
    QVERIFY(w.lblXm->isEnabled());
    QVERIFY(shown(w.FrXls) && shown(w.FrZr) && shown(w.fraJf) && shown(w.LabXx) && shown(w.frXx));
    QVERIFY(shown(w.fraXr) && shown(w.FraFl) && shown(w.fraJs) && !shown(w.frSz));
    QVERIFY(w.chkXx->isChecked());
    QVERIFY(w.MnMingdanshizhi->menuAction()->isVisible() && w.MnXs[2]->isVisible());
    QCOMPARE(twips(w.fraJs), QRect(6265, 1980, 1725, 1515));
    QCOMPARE(twips(w.lblXm).y(), 3645);
    QVERIFY(!w.MnFl[0]->isEnabled() && w.MnFl[1]->isEnabled() && w.MnFl[2]->isEnabled());
    QCOMPARE(w.todayText, QStringLiteral("12月05"));
    QCOMPARE(w.firstActivationPending, 0);
    QCOMPARE(w.rosterFileName, QStringLiteral("点名册.xls"));
    QCOMPARE(w.rosterPath, QDir(s.fakes.programFolder.path()).filePath(QStringLiteral("点名册.xls")));
    // The range stays as it was: the roster brings the next pool.
    QCOMPARE(w.pickPoolCount, 48);

    // Back to the seats by option button: the layout of the seat category again.
    click(w.OptFl[2]);
    QCOMPARE(w.rollCategory, 2);
    QVERIFY(!shown(w.FrXls) && !shown(w.FrZr) && !shown(w.fraJf) && !shown(w.LabXx) && !shown(w.frXx));
    QVERIFY(shown(w.frSz) && !w.MnXs[2]->isVisible());
    QCOMPARE(twips(w.fraJs), QRect(4905, 390, 1725, 1515));
    QVERIFY(w.Timer1->isActive());
  }

  void rangeBoxesRefuseAndAccept() {
    Scenario s;
    FrmMd& w = startWindow(s);
    auto& messages = s.fakes.dialogs.messages;
    click(w.OptFl[1]);

    // Leaving the first box accepts 5 to 48; 5 to 5 is refused when the focus leaves the
    // second box, and the focus goes back there.
    typeRange(w, QStringLiteral("5"), QStringLiteral("5"));
    QCOMPARE(messages.size(), std::size_t(1));
    QCOMPARE(messages[0].text, kRefusal);
    QCOMPARE(messages[0].title, QStringLiteral("警告"));
    QCOMPARE(messages[0].icon, MessageIcon::Critical);
    QVERIFY(w.txtXh[1]->hasFocus());
    QCOMPARE(w.pickPoolCount, 44);
    QCOMPARE(w.cmbXh->count(), 44);
    QCOMPARE(w.cmbXh->itemText(0), QStringLiteral("5号"));
    QCOMPARE(w.rangeLow, 5);
    QCOMPARE(w.rangeHigh, 48);

    // Both boxes wrong: clicking from one into the other asks once, not for ever.
    w.txtXh[0]->setText(QStringLiteral("9"));
    click(w.txtXh[0]);
    QCOMPARE(messages.size(), std::size_t(2));
    QVERIFY(w.txtXh[1]->hasFocus());

    w.txtXh[0]->setText(QStringLiteral("5"));
    w.txtXh[1]->setText(QStringLiteral("6"));
    w.OptDmFs[0]->setFocus(Qt::MouseFocusReason);
    QCOMPARE(messages.size(), std::size_t(2));
    QCOMPARE(w.pickPoolCount, 2);
    QCOMPARE(comboTexts(w.cmbXh), QStringList({QStringLiteral("5号"), QStringLiteral("6号")}));
    QCOMPARE(liveEntries(w), (std::vector<int>{5, 6}));

    typeRange(w, QStringLiteral("-5"), QStringLiteral("5"));
    QCOMPARE(w.studentCount, 11);
    QCOMPARE(w.cmbXh->itemText(0), QStringLiteral("-5号"));
    QCOMPARE(w.cmbXh->itemText(10), QStringLiteral("5号"));

    typeRange(w, QStringLiteral("2.4"), QStringLiteral("2.6"));
    QCOMPARE(w.rangeLow, 2);
    QCOMPARE(w.rangeHigh, 3);
    typeRange(w, QStringLiteral("2.5"), QStringLiteral("3.5"));
    QCOMPARE(w.rangeLow, 2);
    QCOMPARE(w.rangeHigh, 4);

    // A box that is not a number; ranges the 16-bit counts cannot hold. Nothing changes.
    const std::size_t before = messages.size();
    for (const auto& [low, high] : std::vector<std::pair<const char*, const char*>>{
             {"1", "abc"}, {"-20000", "20000"}, {"1", "40000"}, {"-40000", "3"}}) {
      leaveSecondBox(w, QLatin1String(low), QLatin1String(high));
    }
    QCOMPARE(messages.size(), before + 4);
    QCOMPARE(w.rangeLow, 2);
    QCOMPARE(w.rangeHigh, 4);
    QCOMPARE(w.pickPoolCount, 3);

    // Seats: 6 x 8 accepted, 8 x 8, 8 x 6 and no rows refused.
    leaveSecondBox(w, QStringLiteral("1"), QStringLiteral("48"));
    click(w.OptFl[2]);
    messages.clear();
    for (const auto& [rows, columns] :
         std::vector<std::pair<const char*, const char*>>{{"8", "8"}, {"8", "6"}, {"0", "5"}, {"200", "300"}})
      leaveSecondBox(w, QLatin1String(rows), QLatin1String(columns));
    QCOMPARE(messages.size(), std::size_t(4));
    QCOMPARE(w.pickPoolCount, 48);
    leaveSecondBox(w, QStringLiteral("3"), QStringLiteral("4"));
    QCOMPARE(w.studentCount, 12);
    QCOMPARE(w.cmbXh->itemText(11), QStringLiteral("3行4列"));
  }

  void pickButtonTakesTheFocusAndRefillsFirst() {
    SoundFolder folder;
    Scenario s;
    FrmMd& w = startWindow(s);
    rollingOff(w);
    for (int i = 0; i < 3; ++i) click(w.lblXm);
    QCOMPARE(w.pickPoolCount, 45);
    w.txtXh[0]->setFocus(Qt::MouseFocusReason);  // into a range box, nothing typed
    click(w.lblXm);
    QVERIFY(w.chkGd->hasFocus());
    QCOMPARE(w.pickPoolCount, 47);  // 48 again, less this pick
  }

  void rollingDisplayAndItsSounds() {
    SoundFolder folder;
    Scenario s;
    FrmMd& w = startWindow(s);
    FakeRandom& random = s.fakes.random;
    QStringList& played = s.fakes.sound.played;
    w.CmdXie[1]->setEnabled(false);

    random.fallback = 0.25;  // seat index 13 of 48
    click(w.lblXm);
    QVERIFY(w.Timer1->isActive());
    QCOMPARE(played, QStringList({QStringLiteral("type0.wav")}));
    QCOMPARE(w.pickPoolCount, 48);
    QTRY_COMPARE(w.lblXm->caption(), QStringLiteral("2行\r\n5列"));
    QCOMPARE(w.pickPos, 13);
    QVERIFY(random.reseeds > 0);

    // The second click keeps the candidate shown and removes the pool entry at pickPos.
    random.fallback = 0.9;
    click(w.lblXm);
    QVERIFY(!w.Timer1->isActive());
    QCOMPARE(played.last(), QStringLiteral("type.wav"));
    QCOMPARE(w.pickPoolCount, 47);
    QCOMPARE(liveEntries(w).at(12), 14);
    QVERIFY(w.CmdXie[1]->isEnabled());

    // Rolling off: every click picks, removes and plays at once.
    rollingOff(w);
    QVERIFY(!w.MnFs[2]->isChecked());
    random.values = {0.0};
    click(w.lblXm);
    QVERIFY(!w.Timer1->isActive());
    QCOMPARE(w.lblXm->caption(), QStringLiteral("1行\r\n1列"));
    QCOMPARE(w.pickPoolCount, 46);
    QCOMPARE(played.last(), QStringLiteral("type.wav"));
    QCOMPARE(played.size(), 3);

    // Switching rolling off while rolling leaves the display running.
    click(w.chkGd);
    click(w.lblXm);
    QVERIFY(w.Timer1->isActive());
    click(w.chkGd);
    QVERIFY(w.Timer1->isActive());
    const int before = w.pickPoolCount;
    click(w.lblXm);  // picks and removes, the display keeps rolling
    QVERIFY(w.Timer1->isActive());
    QCOMPARE(w.pickPoolCount, before - 1);
    click(w.chkGd);
    click(w.lblXm);  // only a click with the switch on stops it
    QVERIFY(!w.Timer1->isActive());
    QCOMPARE(w.pickPoolCount, before - 2);

    // "下一个" and its menu entry are the pick button.
    w.cmdNext[1]->click();
    QVERIFY(w.Timer1->isActive());
    w.MnSz[3]->trigger();
    QVERIFY(!w.Timer1->isActive());
    QCOMPARE(w.pickPoolCount, before - 3);
  }

  void inOrderRunsOfNumbersAndSeats() {
    SoundFolder folder;
    Scenario s;
    FrmMd& w = startWindow(s);
    rollingOff(w);
    click(w.OptDmFs[1]);
    QCOMPARE(w.lblXm->caption(), QStringLiteral("顺序\r\n点名"));

    // Seats along each row, row after row, then the first again.
    QStringList seats;
    for (int i = 0; i < 49; ++i) {
      click(w.lblXm);
      seats.append(w.lblXm->caption());
    }
    QCOMPARE(seats.first(), QStringLiteral("1行\r\n1列"));
    QCOMPARE(seats.at(1), QStringLiteral("1行\r\n2列"));
    QCOMPARE(seats.at(8), QStringLiteral("2行\r\n1列"));
    QCOMPARE(seats.at(47), QStringLiteral("6行\r\n8列"));
    QCOMPARE(seats.at(48), QStringLiteral("1行\r\n1列"));
    QCOMPARE(w.pickPoolCount, 47);  // every call removes one, the 48th refilled

    // Numbers 1 .. 48, then 1. The switch keeps the last value shown (the seat's column);
    // start as if nothing had been shown yet.
    click(w.OptFl[1]);
    QCOMPARE(w.currentValue, 1);
    w.currentValue = 0;
    for (int expected = 1; expected <= 48; ++expected) {
      click(w.lblXm);
      QCOMPARE(w.lblXm->caption(), QString::number(expected));
    }
    click(w.lblXm);
    QCOMPARE(w.lblXm->caption(), QStringLiteral("1"));

    // After a random 17 the next in-order pick is 18.
    w.MnFs[0]->trigger();
    typeRange(w, QStringLiteral("1"), QStringLiteral("48"));
    s.fakes.random.values = {16.5 / 48};
    click(w.lblXm);
    QCOMPARE(w.lblXm->caption(), QStringLiteral("17"));
    w.MnFs[1]->trigger();
    click(w.lblXm);
    QCOMPARE(w.lblXm->caption(), QStringLiteral("18"));

    // A range of 10 to 20 starts at 10, never at 1.
    typeRange(w, QStringLiteral("10"), QStringLiteral("20"));
    w.currentValue = 0;
    click(w.lblXm);
    QCOMPARE(w.lblXm->caption(), QStringLiteral("10"));
  }

  void randomRunsCallEveryCandidateOnceBeforeAnyRepeat() {
    SoundFolder folder;
    Scenario s;
    SeededRandom random(20261205);
    FrmMd& w = startWindow(s, &random);
    rollingOff(w);
    for (int round = 0; round < 2; ++round) {
      std::set<QString> seats;
      for (int i = 0; i < 48; ++i) {
        click(w.lblXm);
        QVERIFY2(seats.insert(w.lblXm->caption()).second, qPrintable(w.lblXm->caption()));
      }
      QCOMPARE(seats.size(), std::size_t(48));
      QCOMPARE(w.pickPoolCount, 48);  // refilled by the last call
    }

    click(w.OptFl[1]);
    typeRange(w, QStringLiteral("-10"), QStringLiteral("20"));
    std::set<int> numbers;
    for (int i = 0; i < 31; ++i) {
      click(w.lblXm);
      QVERIFY(numbers.insert(w.currentValue).second);
      QCOMPARE(w.lblXm->caption(), QString::number(w.currentValue));
    }
    QCOMPARE(*numbers.begin(), -10);
    QCOMPARE(*numbers.rbegin(), 20);
  }

  void poolsOfOneAndManualCalls() {
    SoundFolder folder;
    Scenario s;
    FrmMd& w = startWindow(s);
    rollingOff(w);
    click(w.OptFl[1]);

    // Two numbers: after one is called the pool holds one, which is then called, and the
    // pool is refilled at once.
    typeRange(w, QStringLiteral("5"), QStringLiteral("6"));
    s.fakes.random.values = {0.0, 0.99};
    click(w.lblXm);
    QCOMPARE(w.lblXm->caption(), QStringLiteral("5"));
    QCOMPARE(liveEntries(w), (std::vector<int>{6}));
    click(w.lblXm);
    QCOMPARE(w.lblXm->caption(), QStringLiteral("6"));
    QCOMPARE(liveEntries(w), (std::vector<int>{5, 6}));

    // A range of a single number.
    typeRange(w, QStringLiteral("2.6"), QStringLiteral("2.7"));
    QCOMPARE(w.pickPoolCount, 1);
    for (int i = 0; i < 3; ++i) {
      click(w.lblXm);
      QCOMPARE(w.lblXm->caption(), QStringLiteral("3"));
      QCOMPARE(liveEntries(w), (std::vector<int>{3}));
    }

    // A narrower range while pickPos points beyond it: the manual call takes the last
    // live entry and touches nothing outside the table.
    typeRange(w, QStringLiteral("1"), QStringLiteral("48"));
    s.fakes.random.values = {0.999};
    click(w.lblXm);
    QCOMPARE(w.pickPos, 48);
    typeRange(w, QStringLiteral("1"), QStringLiteral("5"));
    QCOMPARE(w.pickPos, 48);
    w.CmdXie[1]->setEnabled(false);
    w.cmbXh->setCurrentIndex(2);
    emit w.cmbXh->activated(2);
    QCOMPARE(w.lblXm->caption(), QStringLiteral("3"));
    QCOMPARE(liveEntries(w), (std::vector<int>{1, 2, 3, 4}));
    QCOMPARE(std::get<rollcall::RangeTable>(w.pickPool).size(), std::size_t(6));
    QVERIFY(w.CmdXie[1]->isEnabled());
    // A manual call does not move the in-order position.
    const int value = w.currentValue;
    emit w.cmbXh->activated(0);
    QCOMPARE(w.currentValue, value);

    // Seats: the entry is split over two lines.
    click(w.OptFl[2]);
    w.cmbXh->setCurrentIndex(20);
    emit w.cmbXh->activated(20);
    QCOMPARE(w.lblXm->caption(), QStringLiteral("3行\r\n5列"));
    QCOMPARE(w.pickPoolCount, 47);
  }

  void orderAndRollingSwitches() {
    Scenario s;
    FrmMd& w = startWindow(s);
    QVERIFY(w.MnFs[0]->isEnabled() && w.MnFs[1]->isEnabled());
    // Option buttons change the caption in any category and leave the menu alone.
    click(w.OptDmFs[1]);
    QCOMPARE(w.lblXm->caption(), QStringLiteral("顺序\r\n点名"));
    QVERIFY(w.MnFs[0]->isEnabled() && w.MnFs[1]->isEnabled());
    w.MnFs[0]->trigger();
    QVERIFY(w.OptDmFs[0]->isChecked());
    QCOMPARE(w.lblXm->caption(), QStringLiteral("随机\r\n点名"));
    QVERIFY(!w.MnFs[0]->isEnabled() && w.MnFs[1]->isEnabled());
    // The menu selects an option button already selected: no click, the menu still flips.
    click(w.OptDmFs[1]);
    w.lblXm->setCaption(QStringLiteral("x"));
    w.MnFs[1]->trigger();
    QCOMPARE(w.lblXm->caption(), QStringLiteral("x"));
    QVERIFY(w.MnFs[0]->isEnabled() && !w.MnFs[1]->isEnabled());

    // The rolling switch and its menu mark stay in step; neither touches Timer1.
    w.MnFs[2]->trigger();
    QVERIFY(!w.MnFs[2]->isChecked() && !w.chkGd->isChecked());
    w.MnFs[2]->trigger();
    QVERIFY(w.MnFs[2]->isChecked() && w.chkGd->isChecked());
    click(w.chkGd);
    QVERIFY(!w.MnFs[2]->isChecked());
    click(w.chkGd);
    QVERIFY(w.MnFs[2]->isChecked());
    QVERIFY(!w.Timer1->isActive());
  }

  void clickingTheSelectedOptionRunsItsHandler() {
    Scenario s;
    FrmMd& w = startWindow(s);
    // After a switch by the menu the option still shown as selected brings its category back.
    w.MnFl[1]->trigger();
    QVERIFY(w.OptFl[2]->isChecked());
    QCOMPARE(w.rollCategory, 1);
    click(w.OptFl[2]);
    QCOMPARE(w.rollCategory, 2);
    QCOMPARE(w.LblVal1->caption(), QStringLiteral("行数"));
    QVERIFY(w.MnFl[1]->isEnabled() && !w.MnFl[2]->isEnabled());
    // Clicked again, the selected category restores its default range.
    typeRange(w, QStringLiteral("2"), QStringLiteral("3"));
    QCOMPARE(w.pickPoolCount, 6);
    click(w.OptFl[2]);
    QCOMPARE(w.txtXh[0]->text() + w.txtXh[1]->text(), QStringLiteral("68"));
    QCOMPARE(w.pickPoolCount, 48);
    // The selected pick order clicked again restores the caption after a pick.
    rollingOff(w);
    for (int order : {0, 1}) {
      click(w.OptDmFs[order]);
      click(w.lblXm);
      QVERIFY(w.lblXm->caption().endsWith(QStringLiteral("列")));
      click(w.OptDmFs[order]);
      QCOMPARE(w.lblXm->caption(), order == 0 ? QStringLiteral("随机\r\n点名") : QStringLiteral("顺序\r\n点名"));
    }
  }

  void nameListPicksThroughTheGroupLists() {
    SoundFolder folder;
    Scenario s;
    FrmMd& w = startWindow(s);
    rollingOff(w);
    w.MnFl[0]->trigger();
    QCOMPARE(w.rollCategory, 0);

    // No class could be loaded yet: the pool still holds the seats and is left alone.
    w.List2->addItem(QStringLiteral("1"));
    w.List1->addItem(QStringLiteral("旧名单"));
    w.List1->setCurrentRow(0);
    w.CmdXie[1]->setEnabled(false);
    QTest::mouseClick(w.List1->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
    QCOMPARE(w.pickPoolCount, 48);
    QVERIFY(!w.CmdXie[1]->isEnabled());
    click(w.lblXm);  // a random pick finds no student number; nothing is shown or removed
    QCOMPARE(w.pickPoolCount, 48);
    QCOMPARE(w.lblXm->caption(), QStringLiteral("名单\r\n点名"));

    // Ten students in groups of four; students 3, 5 and 9 are still to be called today.
    installClass(w, 10, 4, {3, 5, 9});
    QCOMPARE(w.List2->count(), 3);
    QCOMPARE(w.LabXx->caption(), QStringLiteral("10人分3组，第1组有4人"));
    std::set<QString> called;
    SeededRandom seeded(7);
    for (int i = 0; i < 3; ++i) {
      s.fakes.random.values = {seeded.next()};
      click(w.lblXm);
      called.insert(w.lblXm->caption());
    }
    QCOMPARE(called, (std::set<QString>{QStringLiteral("1 组 3 号 \r\n学生3"), QStringLiteral("2 组 5 号 \r\n学生5"),
                                        QStringLiteral("3 组 9 号 \r\n学生9")}));
    QCOMPARE(w.pickPoolCount, 10);  // everybody is back
    QCOMPARE(w.LabCz->caption(), QStringLiteral("第 %1 组 %2 号 学生%2").arg(w.currentGroup).arg(w.currentNumber));

    // A click on a name is a manual call: the pool shrinks by one.
    w.CmdXie[1]->setEnabled(false);
    w.setListIndex(w.List1, 1, &FrmMd::onList1Click);
    QTest::mouseClick(w.List1->viewport(), Qt::LeftButton, {}, w.List1->visualItemRect(w.List1->item(1)).center());
    QCOMPARE(w.pickPoolCount, 9);
    QVERIFY(w.CmdXie[1]->isEnabled());

    // In order: after the last member of group 3 comes member 1 of group 1.
    click(w.OptDmFs[1]);
    w.setListIndex(w.List2, 2, &FrmMd::onList2Click);
    w.setListIndex(w.List1, 1, &FrmMd::onList1Click);
    click(w.lblXm);
    QCOMPARE(w.lblXm->caption(), QStringLiteral("1 组 1 号 \r\n学生1"));
    click(w.lblXm);
    QCOMPARE(w.lblXm->caption(), QStringLiteral("1 组 2 号 \r\n学生2"));

    // "下一组" and its menu entry step through the groups, after the last the first.
    w.cmdNext[0]->click();
    QCOMPARE(w.currentGroup, 2);
    QCOMPARE(w.List1->item(0)->text(), QStringLiteral("学生5"));
    w.MnSz[2]->trigger();
    w.MnSz[2]->trigger();
    QCOMPARE(w.currentGroup, 1);
    QCOMPARE(w.LabXx->caption(), QStringLiteral("10人分3组，第1组有4人"));

    // One group: in order the list starts again with its first member.
    installClass(w, 3, 3, {1, 2, 3});
    w.setListIndex(w.List1, 2, &FrmMd::onList1Click);
    QCOMPARE(w.lblXm->caption(), QStringLiteral("3 号 \r\n学生3"));
    click(w.lblXm);
    QCOMPARE(w.lblXm->caption(), QStringLiteral("1 号 \r\n学生1"));
    w.cmdNext[0]->click();  // one group: nothing happens
    QCOMPARE(w.currentGroup, 1);

    // A student number that is not a number fails that tick only; the display keeps rolling.
    click(w.OptDmFs[0]);
    installClass(w, 3, 3, {1, 2, 3});
    std::get<rollcall::NamePool>(w.pickPool)[1].number = Variant::fromText("甲");
    click(w.chkGd);
    s.fakes.random.fallback = 0.0;
    click(w.lblXm);
    w.lblXm->setCaption(QStringLiteral("unchanged"));
    w.onTimer1Tick();
    QCOMPARE(w.lblXm->caption(), QStringLiteral("unchanged"));
    QVERIFY(w.Timer1->isActive());
    s.fakes.random.fallback = 0.5;
    QTRY_COMPARE(w.lblXm->caption(), QStringLiteral("2 号 \r\n学生2"));
    click(w.lblXm);
    QVERIFY(!w.Timer1->isActive());
  }

  void hidingTheRangeFrameKeepsTheDaysPool() {
    Scenario s;
    FrmMd& w = startWindow(s);
    click(w.OptFl[1]);
    rollingOff(w);
    for (int i = 0; i < 5; ++i) w.lblXm->clicked();
    QCOMPARE(w.pickPoolCount, 43);
    w.txtXh[1]->setFocus(Qt::MouseFocusReason);
    w.MnXs[0]->trigger();  // 极简 hides the range frame that holds the focus
    QCOMPARE(w.pickPoolCount, 43);
    // A refused text in a hidden box raises no message either.
    w.MnXs[1]->trigger();
    w.txtXh[0]->setFocus(Qt::MouseFocusReason);
    w.txtXh[0]->setText(QStringLiteral("abc"));
    w.MnXs[0]->trigger();
    QVERIFY(s.fakes.dialogs.messages.empty());
  }

  void displayModes() {
    Scenario s;
    FrmMd& w = startWindow(s);
    w.timJs->start(3600000);
    const QList<QWidget*> frames = {w.FraFl, w.FrXls, w.frSz, w.fraXr, w.FrZr, w.fraJf, w.fraJs, w.frXx, w.LabXx};

    // Seat category: "极简" leaves only the name label (moved up) and the clock.
    w.lblXm->setEnabled(false);
    w.MnXs[0]->trigger();
    for (QWidget* frame : frames) QVERIFY2(!shown(frame), qPrintable(frame->objectName()));
    QVERIFY(shown(w.lblXm) && shown(w.lblSj) && w.lblXm->isEnabled());
    QCOMPARE(twips(w.lblXm).y(), 1980);
    QVERIFY(w.MnJs[0]->isChecked() && w.timJs->isActive());

    for (int mode : {1, 2}) {
      w.onMnXsClick(mode);  // "详细显示" is hidden from the menu here; its handler is the same
      QVERIFY(shown(w.FraFl) && shown(w.frSz) && shown(w.fraXr) && shown(w.fraJs));
      QVERIFY(!shown(w.FrXls) && !shown(w.FrZr) && !shown(w.LabXx) && !shown(w.fraJf) && !shown(w.frXx));
      QVERIFY(!w.chkXx->isChecked());
      QCOMPARE(twips(w.lblXm).y(), 3645);
    }

    // Name list: parameters and details.
    w.MnFl[0]->trigger();
    QVERIFY(w.chkXx->isChecked() && shown(w.frXx));
    w.MnXs[1]->trigger();
    QVERIFY(shown(w.FraFl) && shown(w.FrXls) && shown(w.fraXr) && shown(w.FrZr) && shown(w.fraJf) &&
            shown(w.fraJs) && shown(w.LabXx));
    QVERIFY(!shown(w.frSz) && !shown(w.frXx) && !w.chkXx->isChecked());
    QCOMPARE(twips(w.lblXm).y(), 3645);
    w.lblXm->setEnabled(false);
    w.MnXs[2]->trigger();
    QVERIFY(w.chkXx->isChecked() && shown(w.frXx) && w.lblXm->isEnabled());
    // "极简" hides the details frame through the check box.
    w.MnXs[0]->trigger();
    for (QWidget* frame : frames) QVERIFY2(!shown(frame), qPrintable(frame->objectName()));
    QVERIFY(!w.chkXx->isChecked());

    // The check box alone shows and hides the details.
    w.MnXs[1]->trigger();
    click(w.chkXx);
    QVERIFY(shown(w.frXx));
    QVERIFY(shown(w.FrXls) && !shown(w.frSz));
    click(w.chkXx);
    QVERIFY(!shown(w.frXx));
    QVERIFY(w.MnJs[0]->isChecked() && w.timJs->isActive());
  }
};

QTEST_MAIN(TestRollcallWindow)
#include "test_rollcall_window.moc"

// The score box and the timer box on the real main window: typing, leaving the box,
// the "+" and "-" buttons.
#include <QComboBox>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>

#include "tests/support/scenario.h"

using namespace velquor;
using namespace velquor::test;

namespace {

// Clears the box, gives it the focus and types into it as the keyboard would.
void typeInto(QComboBox* box, const QString& keys) {
  box->setFocus(Qt::MouseFocusReason);
  QTRY_VERIFY(box->hasFocus());
  box->clearEditText();
  QTest::keyClicks(box, keys);
}

// Moves the focus on to another control.
void leave(FrmMd& w) {
  w.CmdJs->setFocus(Qt::TabFocusReason);
  QTRY_VERIFY(w.CmdJs->hasFocus());
}

}  // namespace

class TestValueBoxWindow : public QObject {
  Q_OBJECT
 private slots:
  void typingKeepsOnlyNumberCharacters() {
    Scenario s;
    FrmMd& w = s.start();
    for (QComboBox* box : w.Combo1) {
      typeInto(box, QStringLiteral("a-3x +e"));
      // A character with no key of its own, as a keyboard layout or a pad sends it.
      for (const QString& text : {QStringLiteral("五"), QStringLiteral("１")}) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, text);
        QApplication::sendEvent(box, &press);
      }
      QCOMPARE(box->currentText(), QStringLiteral("-3"));
      // The order is not checked while typing.
      QTest::keyClicks(box, QStringLiteral("-.1."));
      QCOMPARE(box->currentText(), QStringLiteral("-3-.1."));
      // No completion from the list: "-" stays "-" although "-1" is listed.
      typeInto(box, QStringLiteral("-"));
      QCOMPARE(box->currentText(), QStringLiteral("-"));
      // Backspace, arrows and shortcuts keep working.
      typeInto(box, QStringLiteral("12"));
      QTest::keyClick(box, Qt::Key_Backspace);
      QTest::keyClick(box, Qt::Key_Left);
      QTest::keyClicks(box, QStringLiteral("9"));
      QCOMPARE(box->currentText(), QStringLiteral("91"));
      QTest::keyClick(box, Qt::Key_B, Qt::AltModifier);  // a character with Alt is still typed
      QCOMPARE(box->currentText(), QStringLiteral("91"));
      QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
      QTest::keyClicks(box, QStringLiteral("4"));
      QCOMPARE(box->currentText(), QStringLiteral("4"));
    }
  }

  void leavingTheBoxTidiesItsText() {
    Scenario s;
    FrmMd& w = s.start();
    const std::pair<QString, QString> cases[] = {
        {QStringLiteral("1.5.2"), QStringLiteral("1.5")}, {QStringLiteral("007"), QStringLiteral("7")},
        {QString(), QStringLiteral("0")},                 {QStringLiteral("-3-"), QStringLiteral("-3")},
        {QStringLiteral("99999"), QStringLiteral("32767")}};
    for (QComboBox* box : w.Combo1) {
      for (const auto& [typed, tidy] : cases) {
        typeInto(box, typed);
        QCOMPARE(box->currentText(), typed);
        leave(w);
        QCOMPARE(box->currentText(), tidy);
      }
    }
    // A message box or the box's own list taking the focus is not leaving the box.
    typeInto(w.Combo1[0], QStringLiteral("1.5.2"));
    for (Qt::FocusReason reason : {Qt::ActiveWindowFocusReason, Qt::PopupFocusReason}) {
      QFocusEvent out(QEvent::FocusOut, reason);
      QApplication::sendEvent(w.Combo1[0], &out);
      QCOMPARE(w.Combo1[0]->currentText(), QStringLiteral("1.5.2"));
    }
    QFocusEvent out(QEvent::FocusOut, Qt::OtherFocusReason);
    QApplication::sendEvent(w.Combo1[0], &out);
    QCOMPARE(w.Combo1[0]->currentText(), QStringLiteral("1.5"));
  }

  void stepButtonsChangeTheirOwnBox() {
    Scenario s;
    FrmMd& w = s.start();
    QCOMPARE(w.Combo1[0]->currentText(), QStringLiteral("5"));
    QCOMPARE(w.Combo1[1]->currentText(), QStringLiteral("5"));
    struct Step {
      int button;
      QString before;
      QString after;
    };
    const Step steps[] = {{0, QStringLiteral("2.5"), QStringLiteral("3")},
                          {1, QStringLiteral("0"), QStringLiteral("-1")},
                          {2, QStringLiteral("3.5"), QStringLiteral("5")},
                          {3, QStringLiteral("1"), QStringLiteral("0")},
                          {3, QStringLiteral("0"), QStringLiteral("-1")},
                          {2, QStringLiteral("32767"), QStringLiteral("32767")}};
    for (const Step& step : steps) {
      QComboBox* own = w.Combo1[step.button / 2];
      QComboBox* other = w.Combo1[1 - step.button / 2];
      own->setEditText(step.before);
      other->setEditText(QStringLiteral("8"));
      QTest::mouseClick(w.Command1[step.button], Qt::LeftButton);
      QCOMPARE(own->currentText(), step.after);
      QCOMPARE(other->currentText(), QStringLiteral("8"));
    }
    // Typed into the box and stepped straight away: the click takes the focus, which
    // tidies the box first, then the step applies to the tidy value.
    typeInto(w.Combo1[1], QStringLiteral("2.5.9"));
    QTest::mouseClick(w.Command1[2], Qt::LeftButton);
    QCOMPARE(w.Combo1[1]->currentText(), QStringLiteral("3"));
  }
};

QTEST_MAIN(TestValueBoxWindow)
#include "test_valuebox_window.moc"

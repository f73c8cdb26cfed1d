// A real main window on the offscreen platform, driven the way a teacher would, with
// the fake seams recording what it asks of them.
#pragma once

#include <QApplication>
#include <QComboBox>
#include <QTest>
#include <QWidget>
#include <memory>

#include "tests/support/fakes.h"
#include "app/frmmd.h"

namespace velquor::test {

struct Scenario {
  FakeServices fakes;
  std::unique_ptr<FrmMd> window;
  QString programFolder;  // when set, the program's folder instead of the fake one

  // Builds the window, shows it and lets its first activation run; `random` replaces the
  // scripted generator.
  FrmMd& start(RandomSource* random = nullptr) {
    Services services = fakes.services();
    if (random) services.random = random;
    if (!programFolder.isEmpty()) services.programFolder = programFolder;
    window = std::make_unique<FrmMd>(services);
    window->show();
    window->activateWindow();
    QApplication::setActiveWindow(window.get());
    if (!QTest::qWaitForWindowActive(window.get())) window->formActivate();
    return *window;
  }

  template <typename T>
  T* find(const QString& name) const {
    return window->findChild<T*>(name);
  }
};

// Chooses the student by number in the score frame's list, as the teacher does.
inline void chooseStudent(FrmMd& w, int number) {
  for (int i = 0; i < w.CmbXm->count(); ++i) {
    if (w.CmbXm->itemText(i).startsWith(QString::number(number) + QLatin1Char('_'))) {
      w.CmbXm->setCurrentIndex(i);
      w.onCmbXmClick();
      return;
    }
  }
  QFAIL("no such student");
}

}  // namespace velquor::test

// The main window's load and first activation, and the help menu.
#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QRadioButton>

#include "app/frmmd.h"
#include "app/frmqd.h"
#include "app/widgets.h"

namespace velquor {

void FrmMd::loadWindow() {
  // Centre the window on the screen.
  adjustSize();
  centreOnScreen(this);
  // The details frame goes directly below the grouping frame.
  const QRect zr = twipsGeometry(FrZr);
  setTwipsLeftTop(frXx, zr.x(), zr.y() + zr.height());
  // The clock stands 100 twips above the group line.
  const QRect sj = twipsGeometry(lblSj);
  setTwipsTop(lblSj, twipsGeometry(LabXx).y() - sj.height() - 100);
  lblXm->setCaption(QStringLiteral("随机\r\n点名"));
  ++codeChange_;
  cmbJsDw->setCurrentIndex(0);
  cmbJsFs->setCurrentIndex(0);
  --codeChange_;
  firstActivationPending = 1;
}

void FrmMd::formActivate() {
  if (firstActivationPending != 1) return;
  // The program always comes up in the seat category.
  selectOption(OptFl[2], &FrmMd::onOptFlClick, 2);
  firstActivationPending = 0;
}

void FrmMd::onMnBzClick(int index) {
  if (index != 0) return;
  // A new window each time, so the introduction text is read afresh; it is modal and
  // deletes itself when closed.
  auto* about = new FrmQd(this);
  about->show();
}

void FrmMd::connectShell() {
  connect(MnBz[0], &QAction::triggered, this, [this] { onMnBzClick(0); });
}

}  // namespace velquor

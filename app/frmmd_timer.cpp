// The class timer.
#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QPushButton>
#include <QTimer>

#include "timer/classtimer.h"
#include "app/frmmd.h"
#include "core/numtext.h"
#include "app/playwave.h"
#include "results/valuebox.h"
#include "app/widgets.h"

namespace velquor {
namespace {

const QString kStoppedCaption = QStringLiteral("计时");
const QString kRunningCaption = QStringLiteral("暂停");

// The clock's time to the whole second.
QDateTime wholeSecond(QDateTime moment) {
  moment.setTime(QTime(moment.time().hour(), moment.time().minute(), moment.time().second()));
  return moment;
}

}  // namespace

void FrmMd::connectTimer() {
  connect(CmdJs, &QPushButton::clicked, this, [this] { onCmdJsClick(); });
  connect(lblSj, &CaptionLabel::clicked, this, [this] { onLblSjClick(); });
  connect(timJs, &QTimer::timeout, this, [this] { onTimJsTick(); });
  connect(MnJs[0], &QAction::triggered, this, [this] {
    // Qt has already inverted the check mark of this checkable entry; put it back so
    // that the handler's own inversion is the only one per click.
    MnJs[0]->setChecked(!MnJs[0]->isChecked());
    onMnJsClick(0);
  });
  for (int i = 1; i < 3; ++i) connect(MnJs[i], &QAction::triggered, this, [this, i] { onMnJsClick(i); });
}

void FrmMd::onCmdJsClick() {
  if (CmdJs->text() == kStoppedCaption) {
    const auto unit = timer::unitFromText(cmbJsDw->currentText().toStdString());
    // The amount as the box shows it now (the box itself keeps values within 16 bits when
    // it is left; a start by the clock label does not leave it).
    const double amount = leadingNumber(Combo1[1]->currentText().toStdString());
    // Below zero counts as zero and 24 hours or more as 23:59:59, so the set time always
    // fits the clock's "hh:mm:ss".
    const auto seconds = static_cast<int>(timer::setDuration(amount, unit));
    timerTarget = QTime(0, 0).addSecs(seconds);
    // The date is kept with the time of the start; the run itself is measured on the
    // monotonic clock, which neither midnight nor a change of the wall clock moves.
    timerStart = wholeSecond(services_.clock->now());
    timerStartMs = services_.clock->monotonicMs();
    timJs->start();
    CmdJs->setText(kRunningCaption);
  } else {
    timJs->stop();
    CmdJs->setText(kStoppedCaption);
  }
  PlayWave(services_.sound, QStringLiteral("sound/start.wav"));
}

void FrmMd::onLblSjClick() { onCmdJsClick(); }

void FrmMd::onTimJsTick() {
  // Only a running timer ticks; a stray tick must not start it through the end of the run.
  if (CmdJs->text() != kRunningCaption) return;
  const qint64 elapsed = timer::elapsedSeconds(services_.clock->monotonicMs() - timerStartMs);
  const auto mode = timer::modeFromText(cmbJsFs->currentText().toStdString());
  const timer::Reading reading =
      timer::readClock(QTime(0, 0).secsTo(timerTarget), elapsed, mode.value_or(timer::Mode::CountUp));
  if (reading.over) {
    timJs->stop();
    onCmdJsClick();  // stops the timer, with its sound
    PlayWave(services_.sound, QStringLiteral("sound/over.wav"));
  }
  if (mode) lblSj->setCaption(QString::fromStdString(timer::clockText(reading.shown)));
}

void FrmMd::onMnJsClick(int index) {
  switch (index) {
    case 0:
      MnJs[0]->setChecked(!MnJs[0]->isChecked());
      fraJs->setVisible(MnJs[0]->isChecked());
      break;
    case 1:
      cmbJsFs->setCurrentIndex(1);
      break;
    case 2:
      cmbJsFs->setCurrentIndex(0);
      break;
    default:
      break;
  }
}

}  // namespace velquor

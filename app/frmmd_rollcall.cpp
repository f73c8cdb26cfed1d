// Roll call: the categories, the pick engine and the number and seat ranges.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFocusEvent>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QScopedValueRollback>
#include <QTimer>
#include <algorithm>
#include <functional>

#include "app/frmmd.h"
#include "core/log.h"
#include "core/numtext.h"
#include "rollcall/picksteps.h"
#include "app/playwave.h"
#include "rollcall/ranges.h"
#include "app/widgets.h"

namespace velquor {
namespace {

using namespace rollcall;

std::string utf8(const QString& text) { return text.toStdString(); }

}  // namespace

void FrmMd::connectRollcall() {
  for (int i = 0; i < 3; ++i) {
    // Every click runs the handler, also on the option already selected (after a switch
    // by the menu it is the way back). Selecting from code calls the handler itself.
    connect(OptFl[i], &QRadioButton::clicked, this, [this, i] { onOptFlClick(i); });
    connect(MnFl[i], &QAction::triggered, this, [this, i] { onMnFlClick(i); });
  }
  connect(lblXm, &CaptionLabel::clicked, this, &FrmMd::onLblXmClick);
  connect(Timer1, &QTimer::timeout, this, &FrmMd::onTimer1Tick);
  for (int i = 0; i < 2; ++i) {
    connect(cmdNext[i], &QPushButton::clicked, this, [this, i] { onCmdNextClick(i); });
    connect(OptDmFs[i], &QRadioButton::clicked, this, [this, i] { onOptDmFsClick(i); });
    connect(MnFs[i], &QAction::triggered, this, [this, i] { onMnFsClick(i); });
    // A range box loses the focus to another control of the window; a message box, the
    // menu bar or a menu opening is not such a loss.
    txtXh[i]->installEventFilter(new EventHook(this, [this, i](QEvent* event) {
      if (isFocusLossToControl(event) && txtXh[i]->isVisible()) onTxtXhLostFocus(i);
    }));
  }
  // The menu entries "下一组" and "下一个" are the buttons of the details frame.
  connect(MnSz[2], &QAction::triggered, this, [this] { onCmdNextClick(0); });
  connect(MnSz[3], &QAction::triggered, this, [this] { onCmdNextClick(1); });
  // The menu entry toggles its own mark before the handler runs; the handler inverts it
  // itself, as it does when called from code.
  connect(MnFs[2], &QAction::triggered, this, [this](bool checked) {
    MnFs[2]->setChecked(!checked);
    onMnFsClick(2);
  });
  connect(chkGd, &QCheckBox::toggled, this, [this] {
    if (codeChange_ == 0) onChkGdClick();
  });
  connect(cmbXh, &QComboBox::activated, this, [this] {
    if (codeChange_ == 0) onCmbXhClick();
  });
  List1->viewport()->installEventFilter(new EventHook(this, [this](QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease) onList1MouseUp();
  }));
}

void FrmMd::installNameList(NameTable students, NamePool pool, int livePoolCount) {
  studentCount = students.empty() ? 0 : static_cast<int>(students.size()) - 1;
  pickPoolCount = std::clamp(livePoolCount, 0, pool.empty() ? 0 : static_cast<int>(pool.size()) - 1);
  studentTable = std::move(students);
  pickPool = std::move(pool);
  noteDayStart();
}

// ---- Categories --------------------------------------------------------------------------

void FrmMd::onOptFlClick(int index) { switchCategory(index); }

void FrmMd::onMnFlClick(int index) {
  if (!MnFl[index]->isEnabled()) return;
  // The option buttons keep showing the earlier choice.
  switchCategory(index);
}

QString FrmMd::categoryCaption(int category) {
  switch (category) {
    case kNameList:
      return QStringLiteral("名单\r\n点名");
    case kNumber:
      return QStringLiteral("号码\r\n点名");
    default:
      return QStringLiteral("行列\r\n点名");
  }
}

void FrmMd::switchCategory(int category) {
  if (category < kNameList || category > kSeat) return;
  rollCategory = category;
  for (auto* entry : MnFl) entry->setEnabled(true);
  MnFl[category]->setEnabled(false);
  fraXr->show();

  const bool names = category == kNameList;
  FrXls->setVisible(names);
  FrZr->setVisible(names);
  frXx->hide();
  fraJf->setVisible(names);
  frSz->setVisible(!names);
  LabXx->setVisible(names);
  lblXm->setEnabled(!names);
  MnMingdanshizhi->menuAction()->setVisible(names);
  MnXianshi->menuAction()->setVisible(true);
  MnXs[2]->setVisible(names);
  // The timer frame stands beside the score frame, or beside the range frame.
  const QRect beside = twipsGeometry(names ? static_cast<QWidget*>(fraJf) : static_cast<QWidget*>(frSz));
  setTwipsLeftTop(fraJs, beside.x() + beside.width() + (names ? 10 : 300), beside.y());

  switch (category) {
    case kNameList: {
      lblXm->setCaption(categoryCaption(kNameList));
      onMnXsClick(2);
      const QDate today = services_.clock->now().date();
      todayText = QString::fromStdString(monthDayText(today.month(), today.day()));
      firstActivationPending = 0;
      rosterPath = defaultRosterPath();
      rosterFileName = QFileInfo(rosterPath).fileName();
      // Without the default roster the teacher chooses a file, whose classes the file
      // dialog lists itself; listing them a second time would only load the class again.
      if (QFileInfo::exists(rosterPath) || offerSampleRoster()) listClasses();
      else onImage1Click();
      break;
    }
    case kNumber:
      LblVal2->setCaption(QStringLiteral("最大值"));
      LblVal1->setCaption(QStringLiteral("最小值"));
      rangeLow = 1;
      rangeHigh = 48;
      txtXh[0]->setText(QStringLiteral("1"));
      txtXh[1]->setText(QStringLiteral("48"));
      lblXm->setCaption(categoryCaption(kNumber));
      onTxtXhLostFocus(0);
      break;
    case kSeat:
      LblVal1->setCaption(QStringLiteral("行数"));
      LblVal2->setCaption(QStringLiteral("列数"));
      rangeLow = 6;
      rangeHigh = 8;
      txtXh[0]->setText(QStringLiteral("6"));
      txtXh[1]->setText(QStringLiteral("8"));
      lblXm->setCaption(categoryCaption(kSeat));
      onTxtXhLostFocus(1);
      break;
  }
}

// ---- Ranges ------------------------------------------------------------------------------

void FrmMd::onTxtXhLostFocus(int index) {
  if (refocusingRangeBox_) return;
  const auto range = acceptRange(utf8(txtXh[0]->text()), utf8(txtXh[1]->text()), index, rollCategory);
  if (!range) {
    services_.dialogs->message(this, QStringLiteral("请检查数据的合理性"), QStringLiteral("警告"),
                               MessageIcon::Critical);
    // Moving the focus back takes it from wherever it went, which must not count as
    // that control losing the focus (two refused boxes would hand the message back and
    // forth for ever).
    refocusingRangeBox_ = true;
    txtXh[index]->setFocus(Qt::OtherFocusReason);
    refocusingRangeBox_ = false;
    return;
  }
  rangeLow = range->low;
  rangeHigh = range->high;
  if (rollCategory != kNumber && rollCategory != kSeat) return;

  // Every number or seat is available again, even when the range did not change.
  studentCount = range->count;
  RangeTable entries = fullRangeTable(rollCategory, rangeLow, studentCount);
  studentTable = entries;
  pickPool = std::move(entries);
  pickPoolCount = studentCount;
  noteDayStart();

  QStringList texts;
  const std::vector<std::string> entryTexts = rangeEntryTexts(rollCategory, rangeLow, rangeHigh);
  texts.reserve(static_cast<qsizetype>(entryTexts.size()));
  for (const std::string& text : entryTexts) texts.append(QString::fromStdString(text));
  ++codeChange_;
  cmbXh->setUpdatesEnabled(false);
  cmbXh->clear();
  cmbXh->addItems(texts);
  cmbXh->setCurrentIndex(-1);
  cmbXh->setUpdatesEnabled(true);
  --codeChange_;
}

void FrmMd::onCmbXhClick() {
  if (rollCategory != kNumber && rollCategory != kSeat) return;
  const int index = cmbXh->currentIndex();
  if (index < 0) return;
  if (const auto caption = manualCallCaption(rollCategory, utf8(cmbXh->itemText(index))))
    lblXm->setCaption(QString::fromStdString(*caption));
  // The pool loses the entry at pickPos, which need not be the one chosen.
  dropFromRangePool();
}

// ---- Pick engine ------------------------------------------------------------------------

void FrmMd::onLblXmClick() {
  const QScopedValueRollback<bool> pickButton(pickButtonCall_, true);
  // Taking the focus ends an edit in a range box, so its check and rebuild run first.
  if (chkGd->isVisible()) chkGd->setFocus(Qt::OtherFocusReason);
  const bool rolling = chkGd->isChecked();
  // A step that fails is abandoned and the call goes on with the next one; the log keeps why.
  auto step = [this](auto&& run) {
    try {
      run();
    } catch (const std::exception& e) {
      log::write("pick", e.what(), rosterPath.toStdString());
    }
  };
  if (!rolling) {
    step([this] { pickStep(); });
    step([this] { removeCalledCandidate(); });
    PlayWave(services_.sound, QStringLiteral("sound/type.wav"));
    return;
  }
  if (!Timer1->isActive()) {
    Timer1->start();
    PlayWave(services_.sound, QStringLiteral("sound/type0.wav"));
    return;
  }
  // The candidate shown by the last tick is the one called.
  Timer1->stop();
  step([this] { removeCalledCandidate(); });
  PlayWave(services_.sound, QStringLiteral("sound/type.wav"));
}

void FrmMd::onTimer1Tick() {
  // A tick that fails shows nothing new; the display keeps rolling.
  try {
    pickStep();
  } catch (const std::exception& e) {
    log::write("rolling display", e.what(), rosterPath.toStdString());
  }
}

void FrmMd::pickStep() {
  const QDateTime now = services_.clock->now();
  services_.random->reseed(now.time().msecsSinceStartOfDay() / 1000.0);
  const bool random = OptDmFs[0]->isChecked();

  if (rollCategory == kNameList) {
    pickStudent(random);
    return;
  }
  if (rollCategory != kNumber && rollCategory != kSeat) return;

  if (random) {
    const auto pos = randomPosition(services_.random->next(), pickPoolCount);
    if (!pos) return;  // an empty pool has nobody to show
    pickPos = *pos;
    const auto candidate = rangeCandidate(pickPool, pickPoolCount, pickPos);
    if (!candidate) return;
    if (rollCategory == kNumber) {
      currentValue = *candidate;
      lblXm->setCaption(QString::fromStdString(numberCaption(currentValue)));
    } else if (const auto seat = seatOfIndex(*candidate, rangeHigh)) {
      currentGroup = seat->row;
      currentValue = seat->column;
      lblXm->setCaption(QString::fromStdString(seatCaption(*seat)));
    }
    return;
  }

  // In order, within what the range boxes hold now.
  const auto low = toInteger(leadingNumber(utf8(txtXh[0]->text())));
  const auto high = toInteger(leadingNumber(utf8(txtXh[1]->text())));
  if (!low || !high) return;
  if (rollCategory == kNumber) {
    currentValue = nextNumber(currentValue, *low, *high);
    lblXm->setCaption(QString::fromStdString(numberCaption(currentValue)));
  } else {
    const Seat seat = nextSeat({currentGroup, currentValue}, *low, *high);
    currentGroup = seat.row;
    currentValue = seat.column;
    lblXm->setCaption(QString::fromStdString(seatCaption(seat)));
  }
}

void FrmMd::pickStudent(bool random) {
  if (List2->count() == 0) return;
  if (random) {
    // One draw either way, so the design's sequence stays as it is.
    const double r = services_.random->next();
    auto pos = fairPosition(r);
    if (!pos) pos = randomPosition(r, pickPoolCount);
    if (!pos) return;
    pickPos = *pos;
    const auto number = nameCandidateNumber(pickPool, pickPoolCount, pickPos);
    if (!number) return;
    // Every match is selected in turn, so with a number listed twice the last one shows.
    // The groups searched are the formed ones: a rule confirmed but not yet applied
    // names more groups than the table holds.
    const grouping::GroupTable& groups = groupTable;
    for (int k = 1; k <= groups.groupCount(); ++k) {
      const auto& members = groups.members(k);
      for (int j = 1; j <= static_cast<int>(members.size()); ++j) {
        if (members[static_cast<std::size_t>(j - 1)].number.toInteger() != number) continue;
        setListIndex(List2, k - 1, &FrmMd::onList2Click);
        setListIndex(List1, j - 1, &FrmMd::onList1Click);
      }
    }
    return;
  }
  // In order through the lists; an empty member list counts as being at its end. A student
  // absent today is passed over (once round the class at most).
  for (int step = 0; step <= studentCount; ++step) {
    const int selected = List1->currentRow();
    if (selected == List1->count() - 1) {
      if (List2->count() > 1) {
        const int next = List2->currentRow() + 1;
        setListIndex(List2, next < List2->count() ? next : 0, &FrmMd::onList2Click);
      }
      setListIndex(List1, 0, &FrmMd::onList1Click);
    } else {
      setListIndex(List1, selected + 1, &FrmMd::onList1Click);
    }
    if (!currentMemberAbsent()) break;
  }
}

void FrmMd::removeCalledCandidate() {
  if (rollCategory == kNameList)
    dropFromNamePool();
  else
    dropFromRangePool();
}

void FrmMd::dropFromNamePool() {
  noteCall(true);
  // A pool still holding a range (no class could be loaded) is left alone, and no mark
  // can then be written for a student of an earlier class.
  const DropResult result = rollcall::dropFromNamePool(pickPool, pickPoolCount, pickPos, studentTable, studentCount);
  if (result == DropResult::WrongForm) return;
  if (result == DropResult::Refilled) leaveOutAbsent();
  CmdXie[1]->setEnabled(true);
}

void FrmMd::dropFromRangePool() {
  noteCall(false);
  if (rollcall::dropFromRangePool(pickPool, pickPoolCount, pickPos, rollCategory, rangeLow, studentCount) ==
      DropResult::WrongForm)
    return;
  CmdXie[1]->setEnabled(true);
}

void FrmMd::onCmdNextClick(int index) {
  if (index == 1) {
    onLblXmClick();
    return;
  }
  if (index != 0 || groupCount <= 1) return;
  currentGroup = currentGroup >= 1 && currentGroup < groupCount ? currentGroup + 1 : 1;
  setListIndex(List2, currentGroup - 1, &FrmMd::onList2Click);
}

void FrmMd::onList1MouseUp() {
  const QListWidgetItem* item = List1->currentItem();
  if (!item || !item->isSelected()) return;
  // A manual call: the pool shrinks by one, not necessarily by the student clicked.
  dropFromNamePool();
}

// ---- Order and rolling switches ---------------------------------------------------------

void FrmMd::onOptDmFsClick(int index) {
  lblXm->setCaption(index == 0 ? QStringLiteral("随机\r\n点名") : QStringLiteral("顺序\r\n点名"));
}

void FrmMd::onMnFsClick(int index) {
  if (index == 0 || index == 1) {
    if (!MnFs[index]->isEnabled()) return;
    selectOption(OptDmFs[index], &FrmMd::onOptDmFsClick, index);
    MnFs[index]->setEnabled(false);
    MnFs[1 - index]->setEnabled(true);
  } else if (index == 2) {
    MnFs[2]->setChecked(!MnFs[2]->isChecked());
    setCheck(chkGd, MnFs[2]->isChecked(), &FrmMd::onChkGdClick);
  }
}

void FrmMd::onChkGdClick() { MnFs[2]->setChecked(chkGd->isChecked()); }

}  // namespace velquor

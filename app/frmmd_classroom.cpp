// The classroom screen: the layout scaled to the window, full screen, clicker and keyboard
// control, taking back a call, remembered settings and screen readers, the floating call
// button and the name read aloud. All of it is wired here, in one place; it reaches the
// design's controls only through their own handlers.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QEvent>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSettings>
#include <QStyle>
#include <QTimer>
#include <optional>

#include "app/accessibility.h"
#include "app/floatingcall.h"
#include "app/frmmd.h"
#include "app/keycontrol.h"
#include "app/scaling.h"
#include "app/settings.h"
#include "app/singleinstance.h"
#include "app/speech.h"
#include "app/widgets.h"
#include "rollcall/takeback.h"

namespace velquor {
namespace {

// The window's client area in the design, in twips.
const QSize kDesignTwips(9420, 9555);

// Forwards to the program's dialogs. The file dialog can be answered once by the program
// itself, so that the remembered roster is opened by the design's own file handler.
class AnsweringDialogs : public Dialogs {
 public:
  Dialogs* inner = nullptr;
  std::optional<QString> answer;

  void message(QWidget* parent, const QString& text, const QString& title, MessageIcon icon) override {
    inner->message(parent, text, title, icon);
  }
  QString openFileName(QWidget* parent, const QString& filter) override {
    if (answer) {
      const QString given = *answer;
      answer.reset();
      return given;
    }
    return inner->openFileName(parent, filter);
  }
  bool openDocument(const QString& path) override { return inner->openDocument(path); }
  // While the remembered roster is the answer to come, the offer of the sample roster is
  // declined, which leads to the file dialog.
  bool ask(QWidget* parent, const QString& text, const QString& title, bool yesIsDefault) override {
    return answer ? false : inner->ask(parent, text, title, yesIsDefault);
  }
};

QAction* classroomEntry(QMenu* menu, const char* name, const QString& caption, const QList<QKeySequence>& keys) {
  QAction* action = menu->addAction(caption);
  action->setObjectName(QLatin1String(name));
  action->setShortcuts(keys);
  return action;
}

}  // namespace

class Classroom : public QObject {
 public:
  explicit Classroom(FrmMd& window) : QObject(&window), w(window) {}

  FrmMd& w;
  LayoutScaler* scaler = nullptr;
  rollcall::CallHistory history;
  AnsweringDialogs dialogs;
  int display = -1;  // the 显示方式 entry chosen since the last category switch
  double windowedFactor = 1.0;
  bool presentation = false;
  QList<QPointer<QWidget>> presentationHidden;
  bool started = false;
  QString announced;  // the name label's caption last read out
  std::vector<std::int64_t> storedCalls;  // the history's calls as stored, oldest first

  void zoomTo(double factor);
  void zoomBy(bool up) {
    // Steps pressed in quick succession go on from the size asked for, which a window
    // manager may not have given yet.
    const double from = sinceZoom.isValid() && sinceZoom.elapsed() < 1500 ? zoomAsked : scaler->factor();
    zoomTo(zoomStep(from, up, 1.0, largestFactor()));
  }
  double zoomAsked = 1.0;
  QElapsedTimer sinceZoom;
  double largestFactor() const;
  void setFullScreen(bool on);
  void showWindowState();
  void togglePresentation();
  void takeBack();
  void show(const rollcall::Shown& shown, bool startOfDay);
  void updateTakeBack() { w.MnCx->setEnabled(history.canTakeBack(w.rollCategory)); }
  rollcall::Shown shownNow() const;
  void start();
  void restore(const RememberedSettings& s);
  void save();

  // The floating call button instead of the window, and back.
  FloatingCall* floating = nullptr;
  void enterFloating();
  void leaveFloating();
  double windowScale() const { return w.isFullScreen() ? windowedFactor : scaler->factor(); }

  // The name read aloud: 朗读姓名, with the teacher's text before and after the name.
  QAction* speakEntry = nullptr;     // MnLd
  QAction* speakSettings = nullptr;  // MnLdSz
  QString speakBefore;
  QString speakAfter;
  void installSpeech();
  void speakCall();
  void editSpeech();

  // The menu bar and its menus at the window's scale.
  double menuFactor = 1.0;
  bool zooming = false;
  std::optional<QFont> menuDesignFont;
  void scaleMenus(double factor);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
};

void FrmMd::installClassroom() {
  auto* room = new Classroom(*this);
  classroom_ = room;

  // The layout follows the window's size, never smaller than the design.
  QWidget* client = centralWidget();
  client->setMinimumSize(twipsToPixels(kDesignTwips.width()), twipsToPixels(kDesignTwips.height()));
  client->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
  room->scaler = new LayoutScaler(client, kDesignTwips, [this](double factor) {
    // What the controls do not take from their twips: the three columns of the name list
    // and the icons.
    List1->setGridSize(QSize((List1->width() - 6) / 3, QFontMetrics(List1->font()).height() + 4));
    const int icon = static_cast<int>(std::lround(16 * factor));
    Image1->setPixmap(style()->standardIcon(QStyle::SP_FileDialogContentsView).pixmap(icon, icon));
    Image2->setPixmap(style()->standardIcon(QStyle::SP_DirOpenIcon).pixmap(icon, icon));
    const int small = static_cast<int>(std::lround(13 * factor));
    Image3->setPixmap(style()->standardIcon(QStyle::SP_FileDialogDetailedView).pixmap(small, small));
    if (classroom_ && !classroom_->zooming) classroom_->scaleMenus(factor);
  });
  room->scaler->fit();

  MnFd = classroomEntry(MnXianshi, "MnFd", QStringLiteral("放大"),
                        {QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)});
  MnSx = classroomEntry(MnXianshi, "MnSx", QStringLiteral("缩小"), {QKeySequence(Qt::CTRL | Qt::Key_Minus)});
  MnQp = classroomEntry(MnXianshi, "MnQp", QStringLiteral("全屏"), {QKeySequence(Qt::Key_F11)});
  MnQp->setCheckable(true);
  MnYs = new QAction(QStringLiteral("原始大小"), this);
  MnYs->setObjectName(QStringLiteral("MnYs"));
  MnYs->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_0));
  MnCx = classroomEntry(MnFangShi, "MnCx", QStringLiteral("撤销上次点名"), {QKeySequence(Qt::CTRL | Qt::Key_Z)});
  MnCx->setEnabled(false);
  QAction* floatingEntry = classroomEntry(MnXianshi, "MnXf", QStringLiteral("悬浮按钮"), {});
  connect(floatingEntry, &QAction::triggered, room, [room] { room->enterFloating(); });
  room->installSpeech();
  // On the window as well, so the keys work while the menu bar is hidden.
  addActions({MnFd, MnSx, MnQp, MnYs, MnCx});
  connect(MnFd, &QAction::triggered, room, [room] { room->zoomBy(true); });
  connect(MnSx, &QAction::triggered, room, [room] { room->zoomBy(false); });
  connect(MnYs, &QAction::triggered, room, [room] {
    room->setFullScreen(false);
    room->zoomTo(1.0);
  });
  connect(MnQp, &QAction::triggered, room, [this, room] { room->setFullScreen(MnQp->isChecked()); });
  connect(MnCx, &QAction::triggered, room, [room] { room->takeBack(); });

  new ClickerKeys(this, {
                            {ClassroomKey::Call, [this] { if (lblXm->isEnabled()) onLblXmClick(); }},
                            {ClassroomKey::TakeBack, [room] { room->takeBack(); }},
                            {ClassroomKey::Presentation, [room] { room->togglePresentation(); }},
                            {ClassroomKey::Timer, [this] { onLblSjClick(); }},
                            {ClassroomKey::FullScreen, [room] { room->setFullScreen(true); }},
                            {ClassroomKey::LeaveFullScreen, [this, room] { if (isFullScreen()) room->setFullScreen(false); }},
                            {ClassroomKey::Floating, [room] { room->enterFloating(); }},
                        });

  FloatingCall::Hooks hooks;
  hooks.call = [this] {
    if (!lblXm->isEnabled()) return false;
    onLblXmClick();
    return true;
  };
  hooks.rolling = [this] { return Timer1->isActive(); };
  hooks.caption = [this] { return lblXm->caption(); };
  hooks.nameFont = [this] { return lblXm->property("designFont").isValid() ? lblXm->property("designFont").value<QFont>() : lblXm->font(); };
  hooks.scale = [room] { return room->windowScale(); };
  hooks.backToWindow = [room] { room->leaveFloating(); };
  hooks.quit = [this, room] {
    room->floating->hide();
    if (close()) QCoreApplication::quit();
  };
  room->floating = new FloatingCall(room, hooks);

  // The display chosen in 显示方式 is remembered until the next category switch, which
  // enables the entry of the category left.
  for (int i = 0; i < 3; ++i) {
    connect(MnXs[i], &QAction::triggered, room, [room, i] { room->display = i; });
    connect(MnFl[i], &QAction::changed, room, [this, room, i] {
      if (MnFl[i]->isEnabled()) room->display = -1;
    });
  }

  // Screen readers: the boxes are named after their labels (the range boxes change with the
  // category), and the name label announces every student called.
  nameEntryControls(*this);
  connect(LblVal1, &CaptionLabel::captionChanged, room, [this] { nameEntryControls(*this); });
  connect(lblXm, &CaptionLabel::captionChanged, room, [this, room] {
    // The rolling display is not read out candidate by candidate; its stop is a call.
    room->floating->captionChanged();
    if (Timer1->isActive()) return;
    announce(lblXm);
    room->announced = lblXm->caption();
  });
  lblXm->setAccessibleDescription(QStringLiteral(
      "单击、空格、回车、Page Down 或右方向键：点名；Page Up 或左方向键：撤销上次点名；B 或句点：只显示姓名和时钟；T：开始或暂停计时"));

  // Settings go through the window's own dialogs, answered once at start.
  room->dialogs.inner = services_.dialogs;
  services_.dialogs = &room->dialogs;
  installEventFilter(room);
}

void FrmMd::noteCall(bool namePool) {
  if (!classroom_) return;
  const bool sameForm = namePool ? std::holds_alternative<rollcall::NamePool>(pickPool)
                                 : std::holds_alternative<rollcall::RangeTable>(pickPool);
  if (!sameForm) return;  // the removal will not touch this pool
  classroom_->history.record(rollCategory, pickPool, pickPoolCount, pickPos, CmdXie[1]->isEnabled(),
                             classroom_->shownNow());
  classroom_->storedCalls.push_back(storeCall());
  // A rolling display's stop shows no new caption; the call is announced all the same.
  if (classroom_->announced != lblXm->caption()) {
    announce(lblXm);
    classroom_->announced = lblXm->caption();
  }
  classroom_->updateTakeBack();
  if (pickButtonCall_) classroom_->speakCall();
}

double FrmMd::classroomScale() const { return classroom_ ? classroom_->scaler->factor() : 1.0; }

void FrmMd::noteDayStart() {
  if (!classroom_) return;
  rollcall::Shown start;
  start.group = currentGroup;
  start.value = currentValue;
  start.pickPos = pickPos;
  classroom_->history.startDay(rollCategory, start);
  classroom_->storedCalls.clear();
  classroom_->updateTakeBack();
}

void openGivenRoster(FrmMd& w, const QString& path) {
  if (w.isMinimized()) w.showNormal();
  w.raise();
  w.activateWindow();
  Classroom* room = w.classroom_;
  if (!room || path.isEmpty()) return;
  // Not inside a message box or dialog the teacher is answering: when it closes.
  if (QApplication::activeModalWidget()) {
    QTimer::singleShot(500, &w, [&w, path] { openGivenRoster(w, path); });
    return;
  }
  room->dialogs.answer = path;
  if (w.rollCategory != rollcall::kNameList) w.selectOption(w.OptFl[0], &FrmMd::onOptFlClick, 0);
  // The switch listed the default roster (or already took the answer in its file dialog).
  if (room->dialogs.answer) w.onImage1Click();
  room->dialogs.answer.reset();
}

// ---- Scaling and full screen ---------------------------------------------------------------

double Classroom::largestFactor() const {
  const QScreen* screen = w.screen();
  if (!screen) return 1.0;
  const QSize frame = w.frameGeometry().size() - w.geometry().size();
  const QSize chrome = w.size() - w.centralWidget()->size();
  return std::max(1.0, fitFactor(screen->availableGeometry().size() - frame - chrome, scaler->designPixels(1.0)));
}

void Classroom::zoomTo(double factor) {
  if (w.isFullScreen()) return;
  if (w.isMaximized()) w.showNormal();
  zoomAsked = std::clamp(factor, 1.0, largestFactor());
  sinceZoom.start();
  // The menu bar takes its size first, so the client area gets the whole size asked for;
  // meanwhile the layout, refitted to the window as it still is, leaves the menus alone.
  scaleMenus(zoomAsked);
  zooming = true;
  if (w.layout()) w.layout()->activate();
  zooming = false;
  const QSize chrome = w.size() - w.centralWidget()->size();
  w.resize(scaler->designPixels(zoomAsked) + chrome);
  centreOnScreen(&w);
}

void Classroom::setFullScreen(bool on) {
  if (on != w.isFullScreen()) {
    if (on) {
      windowedFactor = scaler->factor();
      w.showFullScreen();
    } else {
      w.showNormal();
      zoomTo(windowedFactor);
    }
  }
  showWindowState();
}

void Classroom::showWindowState() {
  const bool full = w.isFullScreen();
  w.MnQp->setChecked(full);
  // Full screen fills the screen: there is nothing to zoom.
  w.MnFd->setEnabled(!full);
  w.MnSx->setEnabled(!full);
}

void Classroom::togglePresentation() {
  if (presentation) {
    for (const QPointer<QWidget>& widget : presentationHidden)
      if (widget) widget->show();
    presentationHidden.clear();
    presentation = false;
    return;
  }
  // Everything but the name label, the clock and the line of marks not yet written (a
  // teacher must still see that; it shows and hides itself); shown again exactly as it was.
  // The focus leaves first, or it would move into each box that is still shown while the
  // rest hide.
  if (QWidget* focus = w.focusWidget()) focus->clearFocus();
  for (QObject* child : w.centralWidget()->children()) {
    auto* widget = qobject_cast<QWidget*>(child);
    if (!widget || widget == w.lblXm || widget == w.lblSj || widget == w.lblDxr || widget->isHidden()) continue;
    presentationHidden.append(widget);
    widget->hide();
  }
  if (!w.menuBar()->isHidden()) {
    presentationHidden.append(w.menuBar());
    w.menuBar()->hide();
  }
  presentation = true;
}

// ---- Taking back a call ----------------------------------------------------------------------

rollcall::Shown Classroom::shownNow() const {
  rollcall::Shown shown;
  shown.caption = w.lblXm->caption().toStdString();
  shown.number = w.currentNumber;
  shown.group = w.currentGroup;
  shown.value = w.currentValue;
  shown.pickPos = w.pickPos;
  if (w.rollCategory == rollcall::kNameList) shown.student = w.memberStudent(w.List1->currentRow());
  return shown;
}

void Classroom::takeBack() {
  if (w.Timer1->isActive()) {
    // A rolling display is stopped without calling anybody.
    w.Timer1->stop();
    show(history.lastShown(), history.size() == 0);
    return;
  }
  const auto back = history.takeBack(w.rollCategory, w.pickPool, w.pickPoolCount);
  updateTakeBack();
  if (back && !storedCalls.empty()) {
    w.storeTakeBack(storedCalls.back());
    storedCalls.pop_back();
  }
  // A history forgotten (the pool changed otherwise) forgets its stored calls too.
  if (static_cast<int>(storedCalls.size()) > history.size()) storedCalls.resize(static_cast<std::size_t>(history.size()));
  if (!back) return;
  // A student marked absent since the call stays out of the pool it returns.
  w.leaveOutAbsent();
  show(back->shown, back->startOfDay);
  w.CmdXie[1]->setEnabled(back->writeEnabled);
}

void Classroom::show(const rollcall::Shown& shown, bool startOfDay) {
  w.pickPos = shown.pickPos;
  if (w.rollCategory != rollcall::kNameList) {
    w.currentGroup = shown.group;
    w.currentValue = shown.value;
    w.lblXm->setCaption(startOfDay ? FrmMd::categoryCaption(w.rollCategory) : QString::fromStdString(shown.caption));
    return;
  }
  // The student is found by place in the class, in the groups as they are now; the
  // member selection shows the student and makes them the current student.
  if (const auto seat = startOfDay ? std::nullopt : w.groupTable.locate(shown.student)) {
    w.setListIndex(w.List2, seat->group - 1, &FrmMd::onList2Click);
    w.setListIndex(w.List1, seat->slot - 1, &FrmMd::onList1Click);
    return;
  }
  ++w.codeChange_;
  w.List1->setCurrentRow(-1);
  --w.codeChange_;
  w.currentNumber = 0;
  w.lblXm->setCaption(startOfDay ? FrmMd::categoryCaption(rollcall::kNameList) : QString::fromStdString(shown.caption));
}

// ---- Remembered settings ---------------------------------------------------------------------

bool Classroom::eventFilter(QObject* watched, QEvent* event) {
  if (watched != &w) return false;
  switch (event->type()) {
    case QEvent::WindowActivate:
      start();
      break;
    case QEvent::Show:
      // Without a window manager the window may never become active (see FrmMd::showEvent).
      QTimer::singleShot(0, this, [this] { start(); });
      break;
    case QEvent::WindowStateChange:
      showWindowState();
      break;
    case QEvent::Close:
      save();
      break;
    default:
      break;
  }
  return false;
}

void Classroom::start() {
  if (started) return;
  started = true;
  // The design's start first (the seat category), then what the teacher left.
  w.formActivate();
  if (!w.services_.settings) return;
  const std::unique_ptr<QSettings> store = w.services_.settings();
  if (w.services_.resetSettings) {
    store->clear();
    store->sync();
    return;
  }
  if (const auto remembered = readSettings(*store)) restore(*remembered);
}

void Classroom::restore(const RememberedSettings& s) {
  // Each value goes through the handler a teacher's click would run.
  if (s.inOrder) w.selectOption(w.OptDmFs[1], &FrmMd::onOptDmFsClick, 1);
  w.setCheck(w.chkGd, s.rolling, &FrmMd::onChkGdClick);
  w.Combo1[1]->setEditText(s.timerAmount);
  w.onCombo1LostFocus(1);
  ++w.codeChange_;
  w.cmbJsDw->setCurrentIndex(s.timerUnit);
  w.cmbJsFs->setCurrentIndex(s.timerMode);
  --w.codeChange_;

  if (s.category == rollcall::kNumber) w.selectOption(w.OptFl[1], &FrmMd::onOptFlClick, 1);
  const QString defaultRoster = w.defaultRosterPath();
  const bool defaultThere = QFileInfo::exists(defaultRoster);
  const bool rememberedThere = !s.rosterPath.isEmpty() && QFileInfo(s.rosterPath).isFile();
  // A roster that is gone falls back to the default; without either the design's start stays.
  if (s.category == rollcall::kNameList && (defaultThere || rememberedThere)) {
    const bool other = rememberedThere && QFileInfo(s.rosterPath) != QFileInfo(defaultRoster);
    if (other) dialogs.answer = s.rosterPath;
    w.selectOption(w.OptFl[0], &FrmMd::onOptFlClick, 0);
    // The default roster was there and listed first: the remembered one is chosen as
    // through "选择名单".
    if (dialogs.answer) w.onImage1Click();
    dialogs.answer.reset();
    // A class that is gone leaves the first class chosen.
    const int k = w.cmbXls->findText(s.className, Qt::MatchExactly);
    if (k > 0) w.onMnBjClick(k);
    const bool designRule = s.groupMode == 0 && s.groupValue == 1;
    if (w.studentCount > 1 && s.groupValue >= 1 && s.groupValue <= w.studentCount && !designRule) {
      w.selectOption(w.OptFz[s.groupMode], &FrmMd::onOptFzClick, s.groupMode);
      w.txtFz[s.groupMode]->setText(QString::number(s.groupValue));
      w.onTxtFzConfirm();
      w.onCmdFzClick(1);  // groups in list order, so the name label can call again
    }
  }
  if (s.display >= 0) {
    w.onMnXsClick(s.display);
    display = s.display;
  }
  speakBefore = s.speakBefore;
  speakAfter = s.speakAfter;
  if (speakEntry->isEnabled()) speakEntry->setChecked(s.speak);
  floating->setBubbleSeconds(s.bubbleSeconds);
  floating->setPlaces(s.floatingPlaces);
  if (s.fullScreen) {
    windowedFactor = s.scale;
    setFullScreen(true);
  } else {
    zoomTo(s.scale);
  }
}

void Classroom::save() {
  if (!w.services_.settings || !started) return;
  RememberedSettings s;
  s.rosterPath = w.rosterPath;
  s.className = w.cmbXls->count() > 0 ? w.cmbXls->currentText() : QString();
  s.category = w.rollCategory;
  s.inOrder = w.OptDmFs[1]->isChecked();
  s.rolling = w.chkGd->isChecked();
  s.display = display;
  s.groupMode = w.OptFz[1]->isChecked() ? 1 : 0;
  s.groupValue = w.studentCount > 1 ? (s.groupMode == 0 ? w.groupCount : w.groupSize) : 0;
  s.timerAmount = w.Combo1[1]->currentText();
  s.timerUnit = std::max(0, w.cmbJsDw->currentIndex());
  s.timerMode = std::max(0, w.cmbJsFs->currentIndex());
  s.fullScreen = w.isFullScreen();
  s.scale = s.fullScreen ? windowedFactor : scaler->factor();
  s.speak = speakEntry->isChecked();
  s.speakBefore = speakBefore;
  s.speakAfter = speakAfter;
  s.bubbleSeconds = floating->bubbleSeconds();
  s.floatingPlaces = floating->places();
  const std::unique_ptr<QSettings> store = w.services_.settings();
  writeSettings(*store, s);
}

// ---- The floating call button -------------------------------------------------------------

void Classroom::enterFloating() {
  if (floating->isShown()) return;
  // The window goes out of the way; the window that had the focus before it gets it back
  // from the window manager.
  w.hide();
  floating->show();
}

void Classroom::leaveFloating() {
  if (!floating->isShown()) return;
  floating->hide();
  w.show();
  w.raise();
  w.activateWindow();
}

// ---- The name read aloud -----------------------------------------------------------------------

void Classroom::installSpeech() {
  speakEntry = classroomEntry(w.MnFangShi, "MnLd", QStringLiteral("朗读姓名"), {});
  speakEntry->setCheckable(true);
  speakSettings = classroomEntry(w.MnFangShi, "MnLdSz", QStringLiteral("朗读设置…"), {});
  connect(speakSettings, &QAction::triggered, this, [this] { editSpeech(); });
  const QString why = w.services_.speaker ? w.services_.speaker->unavailableReason()
                                          : QStringLiteral("没有可用的语音，无法朗读");
  if (!why.isEmpty()) {
    speakEntry->setEnabled(false);
    speakEntry->setToolTip(why);
    speakEntry->setStatusTip(why);
    w.MnFangShi->setToolTipsVisible(true);
  }
}

void Classroom::speakCall() {
  if (!speakEntry->isChecked() || !w.services_.speaker) return;
  const QString text = spokenText(w.rollCategory, w.lblXm->caption(), speakBefore, speakAfter);
  if (text.isEmpty()) return;
  // After the call has been shown and its sound started.
  QTimer::singleShot(0, this, [this, text] { w.services_.speaker->say(text); });
}

void Classroom::editSpeech() {
  if (auto* open = w.findChild<QDialog*>(QStringLiteral("FrmLd"))) {
    open->raise();
    open->activateWindow();
    return;
  }
  auto* dialog = new QDialog(&w);
  dialog->setObjectName(QStringLiteral("FrmLd"));
  dialog->setWindowTitle(QStringLiteral("朗读设置"));
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  auto* form = new QFormLayout(dialog);
  auto* before = new QLineEdit(speakBefore, dialog);
  before->setObjectName(QStringLiteral("txtLdQ"));
  before->setPlaceholderText(QStringLiteral("请"));
  before->setAccessibleName(QStringLiteral("名字前的话"));
  auto* after = new QLineEdit(speakAfter, dialog);
  after->setObjectName(QStringLiteral("txtLdH"));
  after->setPlaceholderText(QStringLiteral("回答"));
  after->setAccessibleName(QStringLiteral("名字后的话"));
  form->addRow(QStringLiteral("名字前"), before);
  form->addRow(QStringLiteral("名字后"), after);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
  form->addRow(buttons);
  connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
  connect(dialog, &QDialog::accepted, this, [this, before, after] {
    speakBefore = before->text().trimmed().left(40);
    speakAfter = after->text().trimmed().left(40);
  });
  dialog->show();
}

// ---- The menus at the window's scale -----------------------------------------------------------

void Classroom::scaleMenus(double factor) {
  // Small steps are left out: a taller menu bar makes the layout a little smaller, which
  // must not make the menu bar smaller again.
  if (std::abs(factor - menuFactor) < 0.05) return;
  if (!menuDesignFont) menuDesignFont = w.menuBar()->font();
  menuFactor = factor;
  QFont font = *menuDesignFont;
  const double pixels = font.pixelSize() > 0 ? font.pixelSize() : font.pointSizeF() * 96.0 / 72.0;
  font.setPixelSize(std::max(1, static_cast<int>(std::lround(pixels * factor))));
  w.menuBar()->setFont(font);
  for (QMenu* menu : w.findChildren<QMenu*>()) menu->setFont(font);
}

}  // namespace velquor

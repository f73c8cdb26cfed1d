#include "app/frmmd.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyle>
#include <QTimer>

#include "app/pendingwrites.h"
#include "app/programdata.h"
#include "rollcall/absence.h"
#include "app/widgets.h"
#include "roster/workbookset.h"

namespace velquor {
namespace {

QString indexed(const char* name, int index) { return QStringLiteral("%1(%2)").arg(QLatin1String(name)).arg(index); }

// Names a new control and places it by its design rectangle in twips.
template <typename Control>
Control* placed(Control* control, const QString& name, int l, int t, int w, int h) {
  control->setObjectName(name);
  setTwipsGeometry(control, l, t, w, h);
  return control;
}

QGroupBox* frame(QWidget* parent, const char* name, const QString& caption, int l, int t, int w, int h) {
  return placed(new QGroupBox(caption, parent), QLatin1String(name), l, t, w, h);
}

CaptionLabel* label(QWidget* parent, const QString& name, const QString& caption, int l, int t, int w, int h) {
  return placed(new CaptionLabel(caption, parent), name, l, t, w, h);
}

QRadioButton* option(QWidget* parent, const QString& name, const QString& caption, int l, int t, int w, int h) {
  return placed(new QRadioButton(caption, parent), name, l, t, w, h);
}

QPushButton* button(QWidget* parent, const QString& name, const QString& caption, int l, int t, int w, int h) {
  auto* b = placed(new QPushButton(caption, parent), name, l, t, w, h);
  b->setAutoDefault(false);
  return b;
}

QLineEdit* textBox(QWidget* parent, const QString& name, const QString& text, int l, int t, int w, int h) {
  auto* box = placed(new QLineEdit(text, parent), name, l, t, w, h);
  box->setAlignment(Qt::AlignCenter);
  return box;
}

QComboBox* combo(QWidget* parent, const QString& name, bool editable, int l, int t, int w, int h) {
  auto* box = placed(new QComboBox(parent), name, l, t, w, h);
  box->setEditable(editable);
  // The design's lists are narrow ("正计时" in 57 pixels): a slimmer drop-down button
  // leaves room for their text.
  box->setStyleSheet(QStringLiteral(
      "QComboBox { padding: 0px 0px 0px 2px; } QComboBox::drop-down { width: 11px; border: 0px; }"
      "QComboBox::down-arrow { image: url(:/velquor/down-arrow.png); width: 9px; height: 5px; }"));
  if (editable) box->setInsertPolicy(QComboBox::NoInsert);
  ignoreWheel(box);
  return box;
}

QCheckBox* checkBox(QWidget* parent, const QString& name, const QString& caption, int l, int t, int w, int h) {
  return placed(new QCheckBox(caption, parent), name, l, t, w, h);
}

QAction* entry(QMenu* menu, const QString& name, const QString& caption) {
  QAction* action = menu->addAction(caption);
  action->setObjectName(name);
  return action;
}

}  // namespace

FrmMd::FrmMd(const Services& services, QWidget* parent) : QMainWindow(parent), services_(services) {
  setObjectName(QStringLiteral("FrmMd"));
  setWindowTitle(applicationTitle());
  buildControls();
  buildMenus();
  connectShell();
  connectRollcall();
  connectDisplay();
  connectRoster();
  connectGrouping();
  connectResults();
  connectTimer();
  connectClassDay();
  installClassroom();
  installFairPicks();
  loadWindow();
}

FrmMd::~FrmMd() = default;

void FrmMd::buildControls() {
  auto* client = new QWidget(this);
  client->setObjectName(QStringLiteral("client"));
  client->setFixedSize(twipsToPixels(9420), twipsToPixels(9555));
  setCentralWidget(client);

  // The three large labels first: every frame, box and button created later lies above them.
  lblXm = label(client, QStringLiteral("lblXm"), QStringLiteral("随机点名"), 0, 3720, 9285, 4035);
  lblXm->setFont(designFont(kaiFamilies(), 72, true));
  lblXm->setAlignment(Qt::AlignCenter);
  lblSj = label(client, QStringLiteral("lblSj"), QStringLiteral("00:00:00"), 2430, 8640, 4125, 855);
  lblSj->setFont(designFont(yaheiFamilies(), 36, true));
  lblSj->setAlignment(Qt::AlignCenter);
  LabXx = label(client, QStringLiteral("LabXx"), QStringLiteral("第1组名单"), 1440, 8130, 6375, 495);
  LabXx->setFont(designFont(yaheiFamilies(), 15.75));
  LabXx->setAlignment(Qt::AlignCenter);

  Timer1 = new QTimer(this);
  Timer1->setObjectName(QStringLiteral("Timer1"));
  Timer1->setInterval(50);
  timJs = new QTimer(this);
  timJs->setObjectName(QStringLiteral("timJs"));
  timJs->setInterval(1000);
  // A coarse timer may fire up to 5% early; the time shown is measured, but the refresh
  // should come when the second has turned.
  timJs->setTimerType(Qt::PreciseTimer);

  FraFl = frame(client, "FraFl", QStringLiteral("分类"), 1140, 390, 885, 1515);
  OptFl[0] = option(FraFl, indexed("OptFl", 0), QStringLiteral("名单"), 120, 270, 675, 285);
  OptFl[1] = option(FraFl, indexed("OptFl", 1), QStringLiteral("号码"), 120, 660, 675, 285);
  OptFl[2] = option(FraFl, indexed("OptFl", 2), QStringLiteral("行列"), 120, 1020, 675, 285);

  frSz = frame(client, "frSz", QStringLiteral("数值范围"), 2040, 390, 2565, 1515);
  frSz->hide();
  LblVal1 = label(frSz, QStringLiteral("LblVal1"), QStringLiteral("最小值"), 150, 330, 615, 225);
  txtXh[0] = textBox(frSz, indexed("txtXh", 0), QStringLiteral("1"), 900, 270, 1245, 315);
  LblVal2 = label(frSz, QStringLiteral("LblVal2"), QStringLiteral("最大值"), 150, 720, 615, 225);
  txtXh[1] = textBox(frSz, indexed("txtXh", 1), QStringLiteral("48"), 900, 660, 1245, 315);
  for (auto* box : txtXh) box->setFont(designFont(songFamilies(), 10.5));
  Label4 = label(frSz, QStringLiteral("Label4"), QStringLiteral("当前值"), 150, 1080, 615, 225);
  cmbXh = combo(frSz, QStringLiteral("cmbXh"), false, 900, 1050, 1245, 300);

  FrXls = frame(client, "FrXls", QStringLiteral("初始设置"), 2040, 390, 4965, 1515);
  Label3[1] = label(FrXls, indexed("Label3", 1), QStringLiteral("点名册文件"), 180, 420, 1065, 225);
  Label3[1]->setFont(designFont(songFamilies(), 10.5));
  txtFn = textBox(FrXls, QStringLiteral("txtFn"), QStringLiteral("点名册.xls"), 1260, 390, 3105, 345);
  Image1 = label(FrXls, QStringLiteral("Image1"), QString(), 4500, 480, 240, 240);
  Image1->setPixmap(style()->standardIcon(QStyle::SP_FileDialogContentsView).pixmap(16, 16));
  Image1->setToolTip(QStringLiteral("寻找名单文件"));
  Label3[2] = label(FrXls, indexed("Label3", 2), QStringLiteral("班 级"), 180, 960, 1065, 225);
  Label3[2]->setFont(designFont(songFamilies(), 10.5));
  Label3[2]->setAlignment(Qt::AlignCenter);
  cmbXls = combo(FrXls, QStringLiteral("cmbXls"), true, 1290, 990, 3075, 300);
  cmbXls->setEditText(QStringLiteral("Combo1"));
  Image2 = label(FrXls, QStringLiteral("Image2"), QString(), 4500, 1020, 240, 240);
  Image2->setPixmap(style()->standardIcon(QStyle::SP_DirOpenIcon).pixmap(16, 16));
  Image2->setToolTip(QStringLiteral("浏览名单内容"));

  fraXr = frame(client, "fraXr", QStringLiteral("选人规则"), 7020, 390, 975, 1515);
  OptDmFs[0] = option(fraXr, indexed("OptDmFs", 0), QStringLiteral("随机"), 150, 330, 675, 315);
  OptDmFs[1] = option(fraXr, indexed("OptDmFs", 1), QStringLiteral("顺序"), 150, 720, 675, 315);
  OptDmFs[0]->setChecked(true);
  chkGd = checkBox(fraXr, QStringLiteral("chkGd"), QStringLiteral("滚动"), 150, 1140, 705, 255);
  chkGd->setChecked(true);

  FrZr = frame(client, "FrZr", QStringLiteral("分组"), 1140, 1980, 3045, 1515);
  OptFz[0] = option(FrZr, indexed("OptFz", 0), QStringLiteral("规定组数"), 90, 510, 1035, 255);
  txtFz[0] = textBox(FrZr, indexed("txtFz", 0), QStringLiteral("1"), 1110, 510, 615, 270);
  OptFz[1] = option(FrZr, indexed("OptFz", 1), QStringLiteral("每组人数"), 90, 900, 1035, 255);
  txtFz[1] = textBox(FrZr, indexed("txtFz", 1), QStringLiteral("0"), 1110, 900, 615, 270);
  OptFz[0]->setChecked(true);
  CmdFz[0] = button(FrZr, indexed("CmdFz", 0), QStringLiteral("随机分组"), 1800, 360, 945, 315);
  CmdFz[1] = button(FrZr, indexed("CmdFz", 1), QStringLiteral("顺序分组"), 1800, 675, 945, 315);
  CmdXie[0] = button(FrZr, indexed("CmdXie", 0), QStringLiteral("写分组"), 1800, 1005, 945, 315);
  CmdFz[0]->setEnabled(false);
  CmdFz[1]->setEnabled(false);
  CmdXie[0]->setEnabled(false);

  fraJf = frame(client, "fraJf", QStringLiteral("名单计分"), 4200, 1980, 2055, 1515);
  CmbXm = combo(fraJf, QStringLiteral("CmbXm"), false, 120, 420, 1005, 300);
  chkXx = checkBox(fraJf, QStringLiteral("chkXx"), QStringLiteral("详细"), 1230, 420, 705, 315);
  Combo1[0] = combo(fraJf, indexed("Combo1", 0), true, 120, 930, 645, 300);
  Combo1[0]->addItems({QStringLiteral("5"), QStringLiteral("4"), QStringLiteral("3"), QStringLiteral("2"),
                       QStringLiteral("1"), QStringLiteral("0"), QStringLiteral("-1"), QStringLiteral("-2"),
                       QStringLiteral("-3"), QStringLiteral("-4"), QStringLiteral("-5")});
  Combo1[0]->setCurrentIndex(-1);
  Combo1[0]->setEditText(QStringLiteral("5"));
  Command1[0] = button(fraJf, indexed("Command1", 0), QStringLiteral("+"), 750, 930, 195, 180);
  Command1[1] = button(fraJf, indexed("Command1", 1), QStringLiteral("-"), 750, 1080, 195, 180);
  CmdXie[1] = button(fraJf, indexed("CmdXie", 1), QStringLiteral("写成绩"), 1140, 960, 765, 315);

  fraJs = frame(client, "fraJs", QStringLiteral("计时"), 6270, 1980, 1725, 1515);
  Combo1[1] = combo(fraJs, indexed("Combo1", 1), true, 120, 450, 645, 300);
  Combo1[1]->addItems({QStringLiteral("5"), QStringLiteral("4"), QStringLiteral("3"), QStringLiteral("2"),
                       QStringLiteral("1"), QStringLiteral("10"), QStringLiteral("20"), QStringLiteral("30"),
                       QStringLiteral("40"), QStringLiteral("50")});
  Combo1[1]->setCurrentIndex(-1);
  Combo1[1]->setEditText(QStringLiteral("5"));
  Command1[2] = button(fraJs, indexed("Command1", 2), QStringLiteral("+"), 750, 420, 195, 180);
  Command1[3] = button(fraJs, indexed("Command1", 3), QStringLiteral("-"), 750, 600, 195, 180);
  cmbJsDw = combo(fraJs, QStringLiteral("cmbJsDw"), false, 960, 450, 555, 300);
  cmbJsDw->addItems({QStringLiteral("秒"), QStringLiteral("分"), QStringLiteral("时")});
  cmbJsDw->setCurrentIndex(-1);
  cmbJsFs = combo(fraJs, QStringLiteral("cmbJsFs"), false, 90, 960, 855, 300);
  cmbJsFs->addItems({QStringLiteral("正计时"), QStringLiteral("倒计时")});
  cmbJsFs->setCurrentIndex(-1);
  CmdJs = button(fraJs, QStringLiteral("CmdJs"), QStringLiteral("计时"), 990, 960, 645, 315);

  frXx = frame(client, "frXx", QString(), 1140, 3420, 6885, 4665);
  frXx->hide();
  Label1[0] = label(frXx, indexed("Label1", 0), QStringLiteral("组号"), 210, 180, 735, 495);
  Label1[0]->setFont(designFont(yaheiFamilies(), 15));
  LabCz = label(frXx, QStringLiteral("LabCz"), QStringLiteral("第1组名单"), 990, 240, 5115, 495);
  LabCz->setFont(designFont(yaheiFamilies(), 15.75));
  LabCz->setAlignment(Qt::AlignCenter);
  cmdNext[0] = button(frXx, indexed("cmdNext", 0), QStringLiteral("下一组"), 5940, 180, 855, 285);
  cmdNext[1] = button(frXx, indexed("cmdNext", 1), QStringLiteral("下一个"), 5940, 510, 855, 285);
  List2 = placed(new QListWidget(frXx), QStringLiteral("List2"), 30, 840, 645, 3705);
  List2->setFont(designFont(yaheiFamilies(), 15));
  List1 = placed(new QListWidget(frXx), QStringLiteral("List1"), 690, 840, 6135, 3705);
  List1->setFont(designFont(yaheiFamilies(), 15));
  // Three columns: entries run down the first column, then the next.
  List1->setFlow(QListView::TopToBottom);
  List1->setWrapping(true);
  List1->setResizeMode(QListView::Adjust);
  List1->setUniformItemSizes(true);
  List1->setGridSize(QSize((twipsToPixels(6135) - 6) / 3, QFontMetrics(List1->font()).height() + 4));
}

void FrmMd::buildMenus() {
  QMenuBar* bar = menuBar();
  MnFenLei = bar->addMenu(QStringLiteral("点名分类"));
  MnFenLei->setObjectName(QStringLiteral("MnFenLei"));
  MnFl[0] = entry(MnFenLei, indexed("MnFl", 0), QStringLiteral("按名单"));
  MnFl[1] = entry(MnFenLei, indexed("MnFl", 1), QStringLiteral("按序号"));
  MnFl[2] = entry(MnFenLei, indexed("MnFl", 2), QStringLiteral("按行列"));
  MnFl[0]->setEnabled(false);

  MnFangShi = bar->addMenu(QStringLiteral("点名方式"));
  MnFangShi->setObjectName(QStringLiteral("MnFangShi"));
  MnFs[0] = entry(MnFangShi, indexed("MnFs", 0), QStringLiteral("随机点名"));
  MnFs[1] = entry(MnFangShi, indexed("MnFs", 1), QStringLiteral("顺序点名"));
  MnFs[2] = entry(MnFangShi, indexed("MnFs", 2), QStringLiteral("滚动显示"));
  MnFs[2]->setCheckable(true);
  MnFs[2]->setChecked(true);

  MnMingdanshizhi = bar->addMenu(QStringLiteral("名单设置"));
  MnMingdanshizhi->setObjectName(QStringLiteral("MnMingdanshizhi"));
  MnSz[0] = entry(MnMingdanshizhi, indexed("MnSz", 0), QStringLiteral("选择名单"));
  classMenu = MnMingdanshizhi->addMenu(QStringLiteral("选择班级"));
  classMenu->setObjectName(QStringLiteral("classMenu"));
  MnSz[1] = classMenu->menuAction();
  MnSz[1]->setObjectName(indexed("MnSz", 1));
  MnBj.push_back(entry(classMenu, indexed("MnBj", 0), QStringLiteral("班级1")));
  MnSz[2] = entry(MnMingdanshizhi, indexed("MnSz", 2), QStringLiteral("下一组"));
  MnSz[3] = entry(MnMingdanshizhi, indexed("MnSz", 3), QStringLiteral("下一个"));

  MnXianshi = bar->addMenu(QStringLiteral("显示方式"));
  MnXianshi->setObjectName(QStringLiteral("MnXianshi"));
  MnXs[0] = entry(MnXianshi, indexed("MnXs", 0), QStringLiteral("极简"));
  MnXs[1] = entry(MnXianshi, indexed("MnXs", 1), QStringLiteral("显示参数"));
  MnXs[2] = entry(MnXianshi, indexed("MnXs", 2), QStringLiteral("详细显示"));

  MnJishi = bar->addMenu(QStringLiteral("计时"));
  MnJishi->setObjectName(QStringLiteral("MnJishi"));
  MnJs[0] = entry(MnJishi, indexed("MnJs", 0), QStringLiteral("设置"));
  MnJs[0]->setCheckable(true);
  MnJs[0]->setChecked(true);
  MnJs[1] = entry(MnJishi, indexed("MnJs", 1), QStringLiteral("倒计时"));
  MnJs[2] = entry(MnJishi, indexed("MnJs", 2), QStringLiteral("正计时"));

  MnGuanYu = bar->addMenu(QStringLiteral("帮助"));
  MnGuanYu->setObjectName(QStringLiteral("MnGuanYu"));
  MnBz[0] = entry(MnGuanYu, indexed("MnBz", 0), QStringLiteral("关于"));
}

void FrmMd::selectOption(QRadioButton* button, void (FrmMd::*handler)(int), int index) {
  if (button->isChecked()) return;
  ++codeChange_;
  button->setChecked(true);
  --codeChange_;
  (this->*handler)(index);
}

void FrmMd::setCheck(QCheckBox* box, bool checked, void (FrmMd::*handler)()) {
  if (box->isChecked() == checked) return;
  ++codeChange_;
  box->setChecked(checked);
  --codeChange_;
  (this->*handler)();
}

void FrmMd::setListIndex(QListWidget* list, int index, void (FrmMd::*handler)()) {
  ++codeChange_;
  list->setCurrentRow(index);
  --codeChange_;
  (this->*handler)();
}

void FrmMd::setComboIndex(QComboBox* combo, int index, void (FrmMd::*handler)()) {
  ++codeChange_;
  combo->setCurrentIndex(index);
  --codeChange_;
  (this->*handler)();
}

bool FrmMd::event(QEvent* e) {
  const bool result = QMainWindow::event(e);
  if (e->type() == QEvent::WindowActivate) formActivate();
  return result;
}

void FrmMd::showEvent(QShowEvent* e) {
  QMainWindow::showEvent(e);
  // Without a window manager (or with focus-stealing prevention) the window may never
  // become active; its first showing then counts as the first activation.
  QTimer::singleShot(0, this, [this] { formActivate(); });
}

void FrmMd::closeEvent(QCloseEvent* e) {
  // Every workbook is let go unsaved: marks and groups were saved when written or wait
  // in the journal.
  if (pendingWrites) pendingWrites->askBeforeClosing();
  releaseRoster();
  e->accept();
}

}  // namespace velquor

#include "app/frmtj.h"

#include <QComboBox>
#include <QDateEdit>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QSaveFile>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "app/services.h"
#include "core/filepath.h"
#include "core/numtext.h"
#include "roster/newbook.h"
#include "roster/workbook.h"
#include "roster/workbookset.h"

namespace velquor {

namespace {

enum Column { kNumber, kName, kCalls, kLastCall, kToday, kMarkedDays, kMarkSum, kColumns };

QString text(const std::string& s) { return QString::fromStdString(s); }

int scaled(double scale, int pixels) { return std::max(1, static_cast<int>(std::lround(pixels * scale))); }

QFont chartFont(const QWidget* widget, double scale, int pixels, bool bold = false) {
  QFont font = widget->font();
  font.setPixelSize(scaled(scale, pixels));
  font.setBold(bold);
  return font;
}

// A cell that sorts by its number where it has one.
QTableWidgetItem* item(const QString& shown, std::optional<double> number = std::nullopt) {
  auto* cell = new QTableWidgetItem;
  if (number)
    cell->setData(Qt::DisplayRole, *number);
  else
    cell->setData(Qt::DisplayRole, shown);
  cell->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
  return cell;
}

QDate toQDate(std::chrono::year_month_day d) {
  return QDate(static_cast<int>(d.year()), static_cast<int>(static_cast<unsigned>(d.month())),
               static_cast<int>(static_cast<unsigned>(d.day())));
}

std::chrono::year_month_day fromQDate(QDate d) {
  return std::chrono::year{d.year()} / std::chrono::month{static_cast<unsigned>(d.month())} /
         std::chrono::day{static_cast<unsigned>(d.day())};
}

}  // namespace

// ---- Bars of calls ------------------------------------------------------------------------

CallsChart::CallsChart(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("picTj"));
  setAttribute(Qt::WA_OpaquePaintEvent);
}

QColor CallsChart::barColour(bool belowAverage) {
  // Blue and orange stay apart for the common colour blindnesses and on a washed-out projector.
  return belowAverage ? QColor(0xE0, 0x6C, 0x00) : QColor(0x1F, 0x5F, 0xAF);
}

int CallsChart::barWidth() const {
  // As wide as the chart allows, between a thin bar (a large class scrolls) and a broad one.
  const int n = stats_ ? static_cast<int>(stats_->students.size()) : 0;
  if (n == 0) return scaled(scale_, 10);
  return std::clamp((width() - scaled(scale_, 60)) / n, scaled(scale_, 8), scaled(scale_, 48));
}

void CallsChart::setData(const results::ClassStats* stats, double scale) {
  stats_ = stats;
  scale_ = scale;
  highest_ = 0;
  if (stats_)
    for (const auto& s : stats_->students) highest_ = std::max(highest_, s.calls);
  setMinimumHeight(scaled(scale_, 220));
  const int n = stats_ ? static_cast<int>(stats_->students.size()) : 0;
  setMinimumWidth(scaled(scale_, 60) + n * scaled(scale_, 8));
  updateGeometry();
  update();
}

QSize CallsChart::sizeHint() const { return {minimumWidth(), scaled(scale_, 260)}; }

void CallsChart::paintEvent(QPaintEvent* event) {
  QPainter p(this);
  p.fillRect(event->rect(), Qt::white);
  if (!stats_ || stats_->students.empty()) return;
  p.setRenderHint(QPainter::Antialiasing, false);
  const QFont small = chartFont(this, scale_, 13);
  const QFont label = chartFont(this, scale_, 15, true);
  const int left = scaled(scale_, 44), top = scaled(scale_, 34);
  const int bottom = height() - QFontMetrics(small).height() - scaled(scale_, 8);
  const int plot = std::max(1, bottom - top);
  const int top_ = std::max(highest_, 1);
  auto yOf = [&](double v) { return bottom - static_cast<int>(std::lround(v * plot / top_)); };

  // The scale: a line per step, numbered at the left.
  p.setFont(small);
  const int step = std::max(1, static_cast<int>(std::ceil(top_ / 5.0)));
  for (int v = 0; v <= top_; v += step) {
    p.setPen(QColor(0xD0, 0xD0, 0xD0));
    p.drawLine(left, yOf(v), width(), yOf(v));
    p.setPen(Qt::black);
    p.drawText(QRect(0, yOf(v) - scaled(scale_, 10), left - scaled(scale_, 6), scaled(scale_, 20)),
               Qt::AlignRight | Qt::AlignVCenter, QString::number(v));
  }

  // Only the bars in the part being painted (a class of thousands scrolls).
  const double average = stats_->averageCalls();
  const int w = barWidth(), gap = std::max(1, w / 6);
  const int n = static_cast<int>(stats_->students.size());
  const int first = std::clamp((event->rect().left() - left) / w - 1, 0, n);
  const int last = std::clamp((event->rect().right() - left) / w + 1, 0, n - 1);
  for (int i = first; i <= last; ++i) {
    const auto& s = stats_->students[static_cast<std::size_t>(i)];
    const int x = left + i * w;
    const bool below = s.calls < average;
    if (s.calls > 0) p.fillRect(QRect(x + gap, yOf(s.calls), w - 2 * gap, bottom - yOf(s.calls)), barColour(below));
    p.setPen(Qt::black);
    // The student's number under the bar; every other one where the numbers would touch.
    const QString number = text(s.number);
    if (QFontMetrics(small).horizontalAdvance(number) <= w || i % 2 == 0)
      p.drawText(QRect(x - w / 2, bottom + scaled(scale_, 4), 2 * w, QFontMetrics(small).height()), Qt::AlignHCenter,
                 number);
  }

  // The class average as a dashed line, and the key to the colours.
  p.setPen(QPen(Qt::black, scaled(scale_, 2), Qt::DashLine));
  p.drawLine(left, yOf(average), width(), yOf(average));
  p.setFont(label);
  const QString key = QStringLiteral("平均 %1 次").arg(average, 0, 'f', 1);
  const int keyX = std::max(left, event->rect().left()) + scaled(scale_, 8);
  const QFontMetrics fm(label);
  p.setPen(Qt::black);
  p.drawText(keyX, fm.ascent() + scaled(scale_, 4), key);
  int x = keyX + fm.horizontalAdvance(key) + scaled(scale_, 18);
  const int box = fm.ascent();
  p.fillRect(QRect(x, scaled(scale_, 4), box, box), barColour(true));
  x += box + scaled(scale_, 6);
  p.drawText(x, fm.ascent() + scaled(scale_, 4), QStringLiteral("低于平均"));
}

// ---- Marks of one student -------------------------------------------------------------------

MarksChart::MarksChart(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("picCj"));
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void MarksChart::setData(const results::ClassStats* stats, int student, double scale) {
  stats_ = stats;
  student_ = student;
  scale_ = scale;
  setMinimumHeight(scaled(scale_, 150));
  update();
}

QSize MarksChart::sizeHint() const { return {scaled(scale_, 400), scaled(scale_, 170)}; }

void MarksChart::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), Qt::white);
  p.setRenderHint(QPainter::Antialiasing, true);
  const QFont small = chartFont(this, scale_, 13);
  const QFont label = chartFont(this, scale_, 15, true);
  p.setFont(label);
  p.setPen(Qt::black);
  const QFontMetrics fm(label);
  if (!stats_ || student_ < 0 || student_ >= static_cast<int>(stats_->students.size())) {
    p.drawText(rect(), Qt::AlignCenter, QStringLiteral("选中一名学生，这里显示其各次成绩"));
    return;
  }
  const auto& s = stats_->students[static_cast<std::size_t>(student_)];
  p.drawText(scaled(scale_, 8), fm.ascent() + scaled(scale_, 4), text(s.number + " " + s.name));
  const int days = static_cast<int>(stats_->days.size());
  if (days == 0) {
    p.drawText(rect(), Qt::AlignCenter, QStringLiteral("名单中还没有记分的日期"));
    return;
  }
  double low = 0, high = 1;
  for (const auto& m : s.marks)
    if (m) low = std::min(low, *m), high = std::max(high, *m);
  const int headingWidth = QFontMetrics(small).horizontalAdvance(QStringLiteral("12月31")) + scaled(scale_, 6);
  const int left = std::max(scaled(scale_, 44), headingWidth / 2), right = width() - headingWidth / 2 - scaled(scale_, 4);
  const int top = fm.height() + scaled(scale_, 14);
  const int bottom = height() - QFontMetrics(small).height() - scaled(scale_, 8);
  const double span = high - low;
  auto xOf = [&](int d) { return days == 1 ? (left + right) / 2 : left + d * (right - left) / (days - 1); };
  auto yOf = [&](double v) { return bottom - static_cast<int>(std::lround((v - low) * (bottom - top) / span)); };
  p.setFont(small);
  p.setPen(QColor(0xD0, 0xD0, 0xD0));
  p.drawLine(left, yOf(low), right, yOf(low));
  p.drawLine(left, yOf(high), right, yOf(high));
  p.setPen(Qt::black);
  p.drawText(QRect(0, yOf(high) - scaled(scale_, 10), left - scaled(scale_, 6), scaled(scale_, 20)),
             Qt::AlignRight | Qt::AlignVCenter, text(plainDecimal(high)));
  p.drawText(QRect(0, yOf(low) - scaled(scale_, 10), left - scaled(scale_, 6), scaled(scale_, 20)),
             Qt::AlignRight | Qt::AlignVCenter, text(plainDecimal(low)));
  // The headings under the days, as many as fit side by side.
  const int every = std::max(1, static_cast<int>(std::ceil(headingWidth * (days - 1) / std::max(1.0, right - left + 0.0))));
  for (int d = 0; d < days; d += every)
    p.drawText(QRect(xOf(d) - headingWidth / 2, bottom + scaled(scale_, 4), headingWidth, QFontMetrics(small).height()),
               Qt::AlignHCenter, text(stats_->days[static_cast<std::size_t>(d)].heading));

  QPainterPath line;
  bool drawing = false;
  const QColor colour = CallsChart::barColour(false);
  for (int d = 0; d < days; ++d) {
    const auto& m = s.marks[static_cast<std::size_t>(d)];
    if (!m) continue;  // a day without a mark is passed over, the line goes on to the next
    const QPointF point(xOf(d), yOf(*m));
    if (drawing)
      line.lineTo(point);
    else
      line.moveTo(point);
    drawing = true;
  }
  p.setPen(QPen(colour, scaled(scale_, 3)));
  p.drawPath(line);
  p.setBrush(colour);
  const int dot = scaled(scale_, 5);
  for (int d = 0; d < days; ++d)
    if (const auto& m = s.marks[static_cast<std::size_t>(d)]) p.drawEllipse(QPointF(xOf(d), yOf(*m)), dot, dot);
}

// ---- The window -----------------------------------------------------------------------------

FrmTj::FrmTj(QWidget* parent, const QString& className, double scale, Dialogs* dialogs, Source source,
             const rollcall::CallWindow& window, QDate today)
    : QWidget(parent, Qt::Window), dialogs_(dialogs), source_(std::move(source)), scale_(scale), className_(className) {
  setObjectName(QStringLiteral("FrmTj"));
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(QStringLiteral("点名统计 - %1").arg(className));
  QFont base = font();
  base.setPixelSize(scaled(scale_, 15));
  setFont(base);

  cmbTjFw_ = new QComboBox(this);
  cmbTjFw_->setObjectName(QStringLiteral("cmbTjFw"));
  cmbTjFw_->addItems({QStringLiteral("本学期"), QStringLiteral("最近天数")});
  txtTjKs_ = new QDateEdit(this);
  txtTjKs_->setObjectName(QStringLiteral("txtTjKs"));
  txtTjKs_->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
  txtTjKs_->setCalendarPopup(true);
  txtTjTs_ = new QSpinBox(this);
  txtTjTs_->setObjectName(QStringLiteral("txtTjTs"));
  txtTjTs_->setRange(1, 3660);
  txtTjTs_->setSuffix(QStringLiteral(" 天"));
  lblTjFw_ = new QLabel(this);
  lblTjFw_->setObjectName(QStringLiteral("lblTjFw"));
  ++filling_;
  cmbTjFw_->setCurrentIndex(window.kind == rollcall::CallWindow::Kind::LastDays ? 1 : 0);
  const auto start = window.termStart && window.termStart->ok()
                         ? *window.termStart
                         : rollcall::defaultTermStart(fromQDate(today));
  txtTjKs_->setDate(toQDate(start));
  txtTjTs_->setValue(std::max(1, window.days));
  --filling_;

  grdTj_ = new QTableWidget(0, kColumns, this);
  grdTj_->setObjectName(QStringLiteral("grdTj"));
  grdTj_->setHorizontalHeaderLabels({QStringLiteral("学号"), QStringLiteral("姓名"), QStringLiteral("点名次数"),
                                     QStringLiteral("最近点名"), QStringLiteral("今日成绩"), QStringLiteral("记分天数"),
                                     QStringLiteral("成绩合计")});
  grdTj_->setSelectionBehavior(QAbstractItemView::SelectRows);
  grdTj_->setSelectionMode(QAbstractItemView::SingleSelection);
  grdTj_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grdTj_->verticalHeader()->hide();
  grdTj_->horizontalHeader()->setDefaultSectionSize(QFontMetrics(base).horizontalAdvance(QStringLiteral("2026-12-05")) +
                                                    scaled(scale_, 12));
  grdTj_->verticalHeader()->setDefaultSectionSize(QFontMetrics(base).height() + scaled(scale_, 6));
  grdTj_->horizontalHeader()->setSortIndicator(kNumber, Qt::AscendingOrder);
  grdTj_->setSortingEnabled(true);

  picTj_ = new CallsChart(this);
  chartArea_ = new QScrollArea(this);
  chartArea_->setObjectName(QStringLiteral("fraTjTb"));
  chartArea_->setWidget(picTj_);
  chartArea_->setWidgetResizable(true);
  chartArea_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  picCj_ = new MarksChart(this);

  cmdTjDc_ = new QPushButton(QStringLiteral("导出…"), this);
  cmdTjDc_->setObjectName(QStringLiteral("cmdTjDc"));
  cmdTjQc_ = new QPushButton(QStringLiteral("清除本班记录…"), this);
  cmdTjQc_->setObjectName(QStringLiteral("cmdTjQc"));
  auto* close = new QPushButton(QStringLiteral("关闭"), this);
  close->setObjectName(QStringLiteral("cmdTjGb"));

  auto* top = new QHBoxLayout;
  auto* fw = new QLabel(QStringLiteral("统计范围"), this);
  top->addWidget(fw);
  top->addWidget(cmbTjFw_);
  top->addWidget(txtTjKs_);
  top->addWidget(txtTjTs_);
  top->addWidget(lblTjFw_, 1);
  auto* middle = new QHBoxLayout;
  middle->addWidget(grdTj_, 5);
  auto* charts = new QVBoxLayout;
  charts->addWidget(chartArea_, 3);
  charts->addWidget(picCj_, 2);
  middle->addLayout(charts, 6);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(cmdTjDc_);
  buttons->addWidget(cmdTjQc_);
  buttons->addStretch(1);
  buttons->addWidget(close);
  auto* all = new QVBoxLayout(this);
  const int margin = scaled(scale_, 10);
  all->setContentsMargins(margin, margin, margin, margin);
  all->setSpacing(margin);
  all->addLayout(top);
  all->addLayout(middle, 1);
  all->addLayout(buttons);
  resize(scaled(scale_, 1180), scaled(scale_, 680));

  askSavePath = [](QWidget* owner, const QString& suggested) {
    return QFileDialog::getSaveFileName(owner, QStringLiteral("导出"), suggested,
                                        QStringLiteral("Excel 工作簿 (*.xlsx);;CSV UTF-8 (*.csv)"));
  };
  connect(cmbTjFw_, &QComboBox::currentIndexChanged, this, [this] { windowEdited(); });
  connect(txtTjKs_, &QDateEdit::dateChanged, this, [this] { windowEdited(); });
  connect(txtTjTs_, &QSpinBox::valueChanged, this, [this] { windowEdited(); });
  connect(grdTj_, &QTableWidget::itemSelectionChanged, this, [this] { selectionChanged(); });
  connect(cmdTjDc_, &QPushButton::clicked, this, [this] { exportClicked(); });
  connect(cmdTjQc_, &QPushButton::clicked, this, [this] { clearClicked(); });
  connect(close, &QPushButton::clicked, this, &QWidget::close);
  // Calls made while the window is open show up in it.
  auto* follow = new QTimer(this);
  follow->setObjectName(QStringLiteral("timTj"));
  follow->start(1000);
  connect(follow, &QTimer::timeout, this, [this] {
    if (source_.revision && source_.revision() != revision_) refresh();
  });
  refresh();
}

rollcall::CallWindow FrmTj::window() const {
  rollcall::CallWindow w;
  w.kind = cmbTjFw_->currentIndex() == 1 ? rollcall::CallWindow::Kind::LastDays : rollcall::CallWindow::Kind::Term;
  w.termStart = fromQDate(txtTjKs_->date());
  w.days = txtTjTs_->value();
  return w;
}

void FrmTj::windowEdited() {
  const bool days = cmbTjFw_->currentIndex() == 1;
  txtTjKs_->setVisible(!days);
  txtTjTs_->setVisible(days);
  if (filling_) return;
  if (source_.windowChanged) source_.windowChanged(window());
  refresh();
}

void FrmTj::refresh() {
  const bool days = cmbTjFw_->currentIndex() == 1;
  txtTjKs_->setVisible(!days);
  txtTjTs_->setVisible(days);
  if (source_.revision) revision_ = source_.revision();
  QString failure;
  auto read = source_.read ? source_.read(window(), failure) : std::nullopt;
  if (!read) {
    stats_ = {};
    lblTjFw_->setText(failure);
  } else {
    stats_ = std::move(*read);
    lblTjFw_->setText(QStringLiteral("%1：%2 人，平均点名 %3 次")
                          .arg(className_)
                          .arg(stats_.students.size())
                          .arg(stats_.averageCalls(), 0, 'f', 1));
  }
  fillTable();
  picTj_->setData(&stats_, scale_);
  if (selected_ >= static_cast<int>(stats_.students.size())) selected_ = -1;
  picCj_->setData(&stats_, selected_, scale_);
  if (selected_ >= 0) {
    ++filling_;
    for (int r = 0; r < grdTj_->rowCount(); ++r)
      if (grdTj_->item(r, kNumber)->data(Qt::UserRole).toInt() == selected_) grdTj_->selectRow(r);
    --filling_;
  }
  chartArea_->setMinimumHeight(picTj_->minimumHeight() + chartArea_->horizontalScrollBar()->sizeHint().height() + 4);
}

void FrmTj::fillTable() {
  ++filling_;
  grdTj_->setSortingEnabled(false);
  grdTj_->clearContents();
  grdTj_->setRowCount(static_cast<int>(stats_.students.size()));
  for (int r = 0; r < grdTj_->rowCount(); ++r) {
    const auto& s = stats_.students[static_cast<std::size_t>(r)];
    const Variant numberValue = Variant::fromText(s.number);
    auto* number = item(text(s.number), numberValue.toNumber());
    number->setData(Qt::UserRole, r);
    grdTj_->setItem(r, kNumber, number);
    grdTj_->setItem(r, kName, item(text(s.name)));
    grdTj_->setItem(r, kCalls, item({}, s.calls));
    grdTj_->setItem(r, kLastCall, item(s.lastCall ? text(results::dayText(*s.lastCall)) : QString()));
    grdTj_->setItem(r, kToday, item(text(s.todayMark), s.todayMark.empty() ? std::nullopt : Variant::fromText(s.todayMark).toNumber()));
    grdTj_->setItem(r, kMarkedDays, item({}, s.markedDays));
    grdTj_->setItem(r, kMarkSum, item({}, s.markSum));
  }
  grdTj_->setSortingEnabled(true);
  // Fitting the columns measures every row: done for a class of ordinary size only.
  if (grdTj_->rowCount() <= 2000) grdTj_->resizeColumnsToContents();
  --filling_;
}

void FrmTj::selectionChanged() {
  if (filling_) return;
  const auto rows = grdTj_->selectionModel()->selectedRows(kNumber);
  selected_ = rows.isEmpty() ? -1 : rows.first().data(Qt::UserRole).toInt();
  picCj_->setData(&stats_, selected_, scale_);
}

bool FrmTj::exportTo(const QString& path) {
  const QFileInfo target(path);
  if (!source_.rosterPath.isEmpty() &&
      roster::samePlace(pathFromUtf8(target.absoluteFilePath().toStdString())) ==
          roster::samePlace(pathFromUtf8(source_.rosterPath.toStdString()))) {
    dialogs_->message(this, QStringLiteral("不能导出到名单文件本身，请另选一个文件名"), QStringLiteral("警告"),
                      MessageIcon::Critical);
    return false;
  }
  const auto table = results::statsTable(stats_);
  QString failure;
  if (target.suffix().compare(QStringLiteral("csv"), Qt::CaseInsensitive) == 0) {
    QSaveFile file(path);
    const std::string csv = results::csvText(table);
    if (!file.open(QIODevice::WriteOnly) || file.write(csv.data(), static_cast<qint64>(csv.size())) != static_cast<qint64>(csv.size()) ||
        !file.commit())
      failure = file.errorString();
  } else {
    try {
      roster::writeNewXlsx(pathFromUtf8(path.toStdString()), className_.toStdString(), table);
    } catch (const std::exception& e) {
      failure = QString::fromStdString(e.what());
    }
  }
  if (failure.isEmpty()) return true;
  dialogs_->message(this, QStringLiteral("导出失败：%1").arg(failure), QStringLiteral("警告"), MessageIcon::Critical);
  return false;
}

void FrmTj::exportClicked() {
  QString path = askSavePath(this, QStringLiteral("点名统计-%1.xlsx").arg(className_));
  if (path.isEmpty()) return;
  if (QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".xlsx");
  exportTo(path);
}

void FrmTj::clearClicked() {
  if (!dialogs_->ask(this, QStringLiteral("清除%1的全部点名记录？清除后不能恢复。").arg(className_),
                     QStringLiteral("清除本班记录"), false))
    return;
  QString failure;
  if (!source_.clearHistory || !source_.clearHistory(failure)) {
    dialogs_->message(this, QStringLiteral("点名记录没有清除：%1").arg(failure), QStringLiteral("警告"),
                      MessageIcon::Critical);
    return;
  }
  refresh();
}

}  // namespace velquor

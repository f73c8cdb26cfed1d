#include "app/classtable.h"

#include <QDateTime>
#include <QFileInfo>
#include <QHeaderView>
#include <QMenu>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "core/log.h"
#include "roster/classsheet.h"
#include "roster/workbookset.h"
#include "core/filepath.h"

namespace velquor {

ClassTable::ClassTable(QWidget* parent, std::function<View()> view)
    : QDialog(parent), view_(std::move(view)), table_(new QTableWidget(this)), poll_(new QTimer(this)) {
  setObjectName(QStringLiteral("FrmCkMd"));
  setWindowTitle(QStringLiteral("查看名单"));
  table_->setObjectName(QStringLiteral("tblMd"));
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  table_->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(table_, &QTableWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    const int row = table_->rowAt(at.y());
    if (row < 0) return;
    const View v = view_();
    QMenu menu(this);
    QAction* absent = menu.addAction(QStringLiteral("今日缺席"));
    absent->setCheckable(true);
    absent->setChecked(v.absent(table_->item(row, 0)->text(), table_->item(row, 1)->text()));
    if (menu.exec(table_->viewport()->mapToGlobal(at)) == absent) v.toggleAbsent(table_->item(row, 0)->text(), table_->item(row, 1)->text());
    refresh();
  });
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(table_);
  resize(720, 520);
  // The file, the waiting marks, the absences and the current student are looked at
  // twice a second; the table is rebuilt only when one of them changed.
  poll_->setInterval(500);
  connect(poll_, &QTimer::timeout, this, [this] {
    if (isVisible()) refresh();
  });
  poll_->start();
  refresh();
}

void ClassTable::refresh() {
  try {
    rebuild();
  } catch (const std::exception& e) {
    // The table keeps what it shows.
    log::write("class table", e.what(), view_().rosterPath.toStdString());
  }
}

void ClassTable::readSheet(const View& v) {
  const QFileInfo file(v.rosterPath);
  const QString stamp = file.lastModified().toString(Qt::ISODateWithMs) + QLatin1Char('|') +
                        QString::number(file.size()) + QLatin1Char('|') + v.rosterPath + QLatin1Char('|') + v.sheet +
                        QLatin1Char('|') + v.today;
  if (stamp == fileStamp_) return;
  // Remembered before reading: a file that cannot be read is not read again until it changes.
  fileStamp_ = stamp;
  headings_ = {QStringLiteral("学号"), QStringLiteral("姓名"), QStringLiteral("组别")};
  rows_.clear();
  todayAt_ = -1;
  roster::Workbook book = [&] {
    try {
      return roster::Workbook::open(pathFromUtf8(v.rosterPath.toStdString()));
    } catch (const std::exception& e) {
      log::write("class table", e.what(), v.rosterPath.toStdString());
      return roster::Workbook::fromBytes(roster::Workbook::create({{"-", {}}}));
    }
  }();
  int sheet = 0;
  for (int s = 1; s <= book.sheetCount(); ++s)
    if (QString::fromStdString(book.sheetName(s)) == v.sheet) sheet = s;
  std::vector<int> columns = {roster::kNumberColumn, roster::kNameColumn, roster::kGroupColumn};
  const roster::WorkbookCells cells(book, sheet > 0 ? sheet : 1);
  int rows = 0;
  if (sheet > 0) {
    for (int c = roster::kFirstDayColumn; c <= roster::kLastColumn; ++c) {
      const std::string shown = book.cellMonthDay(sheet, roster::kHeadingRow, c);
      if (shown.empty()) break;
      if (QString::fromStdString(shown) == v.today) todayAt_ = static_cast<int>(columns.size());
      headings_ << QString::fromStdString(shown);
      columns.push_back(c);
    }
    rows = roster::countStudents(cells);
  }
  // Today's column shows even before its heading is written, when marks wait for it.
  if (todayAt_ < 0) {
    todayAt_ = static_cast<int>(columns.size());
    headings_ << v.today;
    columns.push_back(sheet > 0 ? roster::findTodayColumn(cells, v.today.toStdString()) : 0);
  }
  rows_.reserve(static_cast<std::size_t>(rows));
  for (int r = 0; r < rows; ++r) {
    QStringList line;
    for (const int c : columns) line << QString::fromStdString(roster::toVariant(book.cell(sheet, r + 3, c)).toText());
    rows_.push_back(line);
  }
}

void ClassTable::rebuild() {
  const View v = view_();
  readSheet(v);
  const QString stamp = fileStamp_ + QLatin1Char('|') + QString::number(v.currentRow) + QLatin1Char('|') + v.revision;
  if (stamp == stamp_) return;
  const QStringList& headings = headings_;
  const int todayAt = todayAt_;
  const int rows = static_cast<int>(rows_.size());
  std::vector<QStringList> data;
  data.reserve(rows_.size());
  for (const QStringList& cells : rows_) {
    QStringList line = cells;
    line << v.waiting(line[0], line[1]) << (v.absent(line[0], line[1]) ? QStringLiteral("1") : QString());
    data.push_back(line);
  }
  stamp_ = stamp;
  table_->clear();
  table_->setColumnCount(static_cast<int>(headings.size()));
  table_->setRowCount(rows);
  table_->setHorizontalHeaderLabels(headings);
  for (int r = 0; r < rows; ++r) {
    const QStringList& line = data[static_cast<std::size_t>(r)];
    const QString waiting = line[line.size() - 2];
    const bool absent = !line.back().isEmpty();
    for (int c = 0; c < static_cast<int>(headings.size()); ++c) {
      QString text = line[c];
      auto* item = new QTableWidgetItem;
      if (c == todayAt) {
        item->setBackground(QColor(255, 243, 176));
        if (!waiting.isEmpty()) {
          text += QStringLiteral("（待写入%1）").arg(waiting);
          item->setForeground(QColor(192, 0, 0));
          QFont f = item->font();
          f.setItalic(true);
          item->setFont(f);
        }
      }
      if (absent && c == 1) text += QStringLiteral("（缺席）");
      if (absent) item->setForeground(Qt::gray);
      item->setText(text);
      table_->setItem(r, c, item);
    }
  }
  if (v.currentRow >= roster::kFirstStudentRow && v.currentRow - roster::kFirstStudentRow < rows)
    table_->selectRow(v.currentRow - roster::kFirstStudentRow);
  table_->resizeColumnsToContents();
}

}  // namespace velquor

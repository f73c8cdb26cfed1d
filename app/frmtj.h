// 点名统计: the loaded class's calls and marks at a glance. A sortable table (calls within the
// window, last call, today's mark, marked days, sum of marks), a bar chart of calls per
// student with the students below the class average in a colour of their own, the marks of
// the selected student over the dated columns, the window of days, export and clearing the
// class's history. Everything drawn is sized by the main window's scale factor.
#pragma once

#include <QWidget>
#include <cstdint>
#include <functional>
#include <optional>

#include "results/classstats.h"
#include "rollcall/fairpick.h"

class QComboBox;
class QDateEdit;
class QLabel;
class QPushButton;
class QScrollArea;
class QSpinBox;
class QTableWidget;

namespace velquor {

class Dialogs;

// Bars of calls per student, one per student in list order, numbered below.
class CallsChart : public QWidget {
 public:
  explicit CallsChart(QWidget* parent);
  void setData(const results::ClassStats* stats, double scale);
  QSize sizeHint() const override;
  // The colours: at or above the class average, below it.
  static QColor barColour(bool belowAverage);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  int barWidth() const;
  const results::ClassStats* stats_ = nullptr;
  double scale_ = 1.0;
  int highest_ = 0;
};

// The marks of one student over the dated columns, joined by a line (blank days skipped).
class MarksChart : public QWidget {
 public:
  explicit MarksChart(QWidget* parent);
  void setData(const results::ClassStats* stats, int student, double scale);  // student: 0-based, -1 none
  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  const results::ClassStats* stats_ = nullptr;
  int student_ = -1;
  double scale_ = 1.0;
};

class FrmTj : public QWidget {
 public:
  struct Source {
    // The class's statistics for a window of days; empty when the roster cannot be read
    // (the reason is then in `failure`).
    std::function<std::optional<results::ClassStats>(const rollcall::CallWindow&, QString& failure)> read;
    // Forgets the class's call history; false (with the reason) when that failed.
    std::function<bool(QString& failure)> clearHistory;
    // The window of days changed; it is remembered.
    std::function<void(const rollcall::CallWindow&)> windowChanged;
    // Changes whenever the history may have changed; the window then reads it again.
    std::function<std::uint64_t()> revision;
    QString rosterPath;  // never exported over
  };

  FrmTj(QWidget* parent, const QString& className, double scale, Dialogs* dialogs, Source source,
        const rollcall::CallWindow& window, QDate today);

  // Asks where to export; an empty text when cancelled. Tests answer it themselves.
  std::function<QString(QWidget*, const QString& suggested)> askSavePath;

  void refresh();
  // Writes the table to `path`: .csv as CSV, anything else as .xlsx. False (with a message
  // shown) when it failed.
  bool exportTo(const QString& path);
  const results::ClassStats& stats() const { return stats_; }

 private:
  void fillTable();
  void selectionChanged();
  void exportClicked();
  void clearClicked();
  void windowEdited();
  rollcall::CallWindow window() const;

  Dialogs* dialogs_;
  Source source_;
  double scale_;
  QString className_;
  results::ClassStats stats_;
  QComboBox* cmbTjFw_;
  QDateEdit* txtTjKs_;
  QSpinBox* txtTjTs_;
  QLabel* lblTjFw_;
  QTableWidget* grdTj_;
  QScrollArea* chartArea_;
  CallsChart* picTj_;
  MarksChart* picCj_;
  QPushButton* cmdTjDc_;
  QPushButton* cmdTjQc_;
  int filling_ = 0;
  std::uint64_t revision_ = 0;
  int selected_ = -1;  // the student whose marks are shown (0-based), kept over a refresh
};

}  // namespace velquor

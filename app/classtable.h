// "查看名单": the loaded class at a glance, read-only, inside the program. The roster file is
// read into memory (no lock is taken on it) and shown with every dated column; today's
// column is highlighted, marks still waiting to be written and absent students are shown
// apart, and the current student is selected. It follows every write.
#pragma once

#include <QDialog>
#include <QString>
#include <functional>
#include <vector>

class QTableWidget;
class QTimer;

namespace velquor {

class ClassTable : public QDialog {
  Q_OBJECT
 public:
  // What the table shows besides the file: supplied by the main window at each refresh.
  struct View {
    QString rosterPath;
    QString sheet;            // the class sheet's name
    QString today;            // "MM月dd"
    int currentRow = 0;       // the current student's row in the sheet (3..), 0 for none
    std::function<QString(const QString& number, const QString& name)> waiting;  // "+5" or ""
    std::function<bool(const QString& number, const QString& name)> absent;
    std::function<void(const QString& number, const QString& name)> toggleAbsent;
    QString revision;  // changes whenever waiting marks or absences change
  };
  ClassTable(QWidget* parent, std::function<View()> view);
  QTableWidget* table() const { return table_; }
  void refresh();

 private:
  void rebuild();
  // The roster's sheet as last read: read again only when the file (or the class) changed.
  void readSheet(const View& v);
  std::function<View()> view_;
  QTableWidget* table_;
  QTimer* poll_;
  QString stamp_;      // what the table was last built from
  QString fileStamp_;  // what the sheet was last read from
  QStringList headings_;
  std::vector<QStringList> rows_;  // the cells shown, per student
  int todayAt_ = -1;
};

}  // namespace velquor

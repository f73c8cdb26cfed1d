// Marks and group columns the roster could not take when the teacher asked: kept in the
// journal, named by a line in the main window, and written as soon as the roster can be
// written again (the roster file and its folder are watched, and tried again every few
// seconds while anything waits).
#pragma once

#include <QObject>
#include <QString>
#include <memory>

#include "app/rostersave.h"
#include "app/services.h"
#include "results/pending.h"

class QFileSystemWatcher;
class QTimer;
class QWidget;

namespace velquor {
class CaptionLabel;

class PendingWrites : public QObject {
  Q_OBJECT
 public:
  // `line` shows what waits and why.
  PendingWrites(QWidget* window, const Services& services, CaptionLabel* line);
  ~PendingWrites() override;

  // Keeps a write that failed for a reason worth waiting out. False when the journal
  // cannot be stored (the write is then refused as before).
  bool keep(results::PendingWrite write, const roster::WorkbookError& why);
  // Applies what waits for every roster in the journal, each with one save.
  void retry();
  const std::vector<results::PendingWrite>& writes() const { return journal_->writes(); }
  // The waiting marks of one student of one class sheet of `roster` on `date`.
  std::vector<const results::PendingWrite*> marksFor(const QString& roster, const QString& sheet, const QString& date,
                                                     const QString& number, const QString& name) const;
  void discard(const std::vector<std::uint64_t>& ids);
  // Before the window closes: asks whether waiting writes are kept for the next start (the
  // default) or discarded.
  void askBeforeClosing();
  // One line per waiting write, as the list shows and copies them.
  static QString describe(const results::PendingWrite& write);
  void showList();
  // While a lock file that may be left over holds a roster with waiting writes: asks the
  // teacher whether its program is closed, and on Yes removes it and writes what waits.
  bool lockMayBeStale() const;
  void releaseLock();
  // The locks the teacher said are still in use: saves wait on them without asking again.
  DeclinedLocks& declinedLocks() { return declined_; }

 signals:
  void changed();  // writes joined or left the journal (a save may have happened)

 private:
  void refresh();
  void watch();

  QWidget* window_;
  Services services_;
  CaptionLabel* line_;
  std::unique_ptr<results::PendingJournal> journal_;
  results::WaitCause cause_ = results::WaitCause::None;
  QString holder_;
  QFileSystemWatcher* watcher_;
  QTimer* soon_;   // a change seen in the folder: try shortly after
  QTimer* again_;  // tries again while anything waits
  bool retrying_ = false;
  DeclinedLocks declined_;
};

// The platform's application data folder, or the services' own.
QString dataFolderOf(const Services& services);

}  // namespace velquor

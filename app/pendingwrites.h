// Marks and group columns the roster could not take when the teacher asked: kept in the
// program's store, named by a line in the main window, and written as soon as the roster can
// be written again (the roster file and its folder are watched, and tried again every few
// seconds while anything waits; a roster that looks as it did at its last failed try, by size,
// time, permissions and its folder's lock files, is not read again).
#pragma once

#include <QObject>
#include <QString>
#include <map>
#include <memory>

#include "app/rostersave.h"
#include "app/services.h"
#include "results/pending.h"

class QFileSystemWatcher;
class QTimer;
class QWidget;

namespace velquor {
class CaptionLabel;
class ProgramData;

class PendingWrites : public QObject {
  Q_OBJECT
 public:
  // `line` shows what waits and why.
  PendingWrites(QWidget* window, const Services& services, CaptionLabel* line, ProgramData& data);
  ~PendingWrites() override;

  // Keeps a write that failed for a reason worth waiting out. False when the journal
  // cannot be stored (the write is then refused as before).
  bool keep(results::PendingWrite write, const roster::WorkbookError& why);
  // Applies what waits for every roster in the store, each with one save. Unless `force`,
  // a roster that looks as it did when its last try failed is passed over.
  void retry(bool force = false);
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
  ProgramData& data_;
  std::unique_ptr<store::Store> fallback_;  // in memory, when the store cannot be read
  std::unique_ptr<results::PendingJournal> journal_;
  results::WaitCause cause_ = results::WaitCause::None;
  QString holder_;
  // The rosters whose last try failed, as they looked then.
  struct Failed {
    results::RosterStamp stamp;
    std::string ids;  // the writes that waited for it
    results::WaitCause cause = results::WaitCause::Missing;
    QString holder;
    bool staleLock = false;  // held by a lock file that may be left over
  };
  std::map<std::string, Failed> failed_;
  QFileSystemWatcher* watcher_;
  QTimer* soon_;   // a change seen in the folder: try shortly after
  QTimer* again_;  // tries again while anything waits
  bool retrying_ = false;
  DeclinedLocks declined_;
};

// The platform's application data folder, or the services' own.
QString dataFolderOf(const Services& services);

}  // namespace velquor

// The program's own data for the main window: the store "velquor.db" and the log
// "velquor.log" in the data folder, the hand-over of an earlier version's text files, and
// the one message the teacher gets when the data cannot be kept. Wired into the window in
// frmmd_classday.cpp.
#pragma once

#include <QString>
#include <memory>
#include <set>

#include "store/programstore.h"

class QWidget;

namespace velquor {
class Dialogs;

class ProgramData {
 public:
  // `folder` is the data folder, `today` "YYYY-MM-DD".
  ProgramData(const QString& folder, const QString& today);
  ~ProgramData();
  store::Store& store() { return *store_; }
  // What opening the store found, said once after the window shows ("" when all is well).
  const QString& startMessage() const { return startMessage_; }
  // A change the store refused while the program runs: logged each time, and said once per
  // kind of problem (the text to show, or "" when it was said before).
  QString refused(const store::StoreError& error, const char* where);

  static QString databasePath(const QString& folder);
  static QString logPath(const QString& folder);

 private:
  std::unique_ptr<store::Store> store_;
  QString startMessage_;
  std::set<store::Problem> said_;
};

}  // namespace velquor

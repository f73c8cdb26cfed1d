// Saving the roster from the window. When a lock file says another program holds the roster,
// the teacher is shown who and since when and may confirm that the program is closed (it
// crashed, or was closed without removing its lock); the lock is then removed and the save
// tried again. Every other failure, and a refusal, reaches the caller as the WorkbookError.
#pragma once

#include <set>
#include <string>

class QWidget;

namespace velquor {

class Dialogs;
namespace roster {
class Workbook;
struct FileLock;
}

// The locks the teacher said are still in use (by file, holder and time): a save waits on
// them without asking again; a new lock is a new question.
using DeclinedLocks = std::set<std::string>;

// Asks whether the program holding a removable lock is really closed (No is the default), unless
// declined already (or `askAgain`); on No it joins `declined`. True when the teacher confirmed it is stale.
bool confirmStaleLock(const roster::FileLock& lock, Dialogs& dialogs, QWidget* parent, DeclinedLocks* declined,
                      bool askAgain = false);

void saveRoster(roster::Workbook& book, Dialogs& dialogs, QWidget* parent, DeclinedLocks* declined = nullptr);

}  // namespace velquor

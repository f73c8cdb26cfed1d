// Saving the roster from the window. When a lock file says another program holds the roster,
// the teacher is shown who and since when and may confirm that the program is closed (it
// crashed, or was closed without removing its lock); the lock is then removed and the save
// tried again. Every other failure, and a refusal, reaches the caller as the WorkbookError.
#pragma once

class QWidget;

namespace velquor {

class Dialogs;
namespace roster {
class Workbook;
}

void saveRoster(roster::Workbook& book, Dialogs& dialogs, QWidget* parent);

}  // namespace velquor

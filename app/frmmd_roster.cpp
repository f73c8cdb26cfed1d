// Roster: choosing the file and the class, loading a class sheet.
#include "frmmd.h"

namespace velquor {

void FrmMd::connectRoster() {}

// Roster lookup (file dialog when the file is missing) and class lister: still to come.
void FrmMd::listClasses() {}

}  // namespace velquor

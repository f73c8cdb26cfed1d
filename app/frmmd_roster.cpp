// Roster: choosing the file and the class, loading a class sheet.
#include "frmmd.h"

namespace velquor {

void FrmMd::connectRoster() {}

}  // namespace velquor

// Results: score entry, value boxes, writing groups and marks.
#include "frmmd.h"

namespace velquor {

void FrmMd::connectResults() {}

}  // namespace velquor

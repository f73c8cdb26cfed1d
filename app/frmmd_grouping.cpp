// Grouping: the group rule, forming groups, browsing them.
#include "frmmd.h"

namespace velquor {

void FrmMd::connectGrouping() {}

}  // namespace velquor

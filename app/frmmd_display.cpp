// Display modes: minimal, parameters and detailed.
#include "frmmd.h"

namespace velquor {

void FrmMd::connectDisplay() {}

}  // namespace velquor

// The class timer.
#include "frmmd.h"

namespace velquor {

void FrmMd::connectTimer() {}

}  // namespace velquor

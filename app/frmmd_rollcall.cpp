// Roll call: the categories, the pick engine and the number and seat ranges.
#include <QAction>
#include <QRadioButton>

#include "frmmd.h"

namespace velquor {

void FrmMd::connectRollcall() {
  for (int i = 0; i < 3; ++i) {
    connect(OptFl[i], &QRadioButton::toggled, this, [this, i](bool on) {
      if (on && codeChange_ == 0) onOptFlClick(i);
    });
    connect(MnFl[i], &QAction::triggered, this, [this, i] { onMnFlClick(i); });
  }
}

void FrmMd::onOptFlClick(int index) { switchCategory(index); }

void FrmMd::onMnFlClick(int index) {
  if (!MnFl[index]->isEnabled()) return;
  switchCategory(index);
}

void FrmMd::switchCategory(int category) {
  rollCategory = category;
  for (auto* entry : MnFl) entry->setEnabled(true);
  MnFl[category]->setEnabled(false);
}

}  // namespace velquor

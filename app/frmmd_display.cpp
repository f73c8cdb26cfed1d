// Display modes: minimal, parameters and detailed.
#include <QAction>
#include <QCheckBox>
#include <QGroupBox>

#include "app/frmmd.h"
#include "app/widgets.h"

namespace velquor {

void FrmMd::connectDisplay() {
  for (int i = 0; i < 3; ++i) connect(MnXs[i], &QAction::triggered, this, [this, i] { onMnXsClick(i); });
  connect(chkXx, &QCheckBox::toggled, this, [this] {
    if (codeChange_ == 0) onChkXxClick();
  });
}

void FrmMd::onMnXsClick(int index) {
  if (index == 0) {
    // Only the name label, moved up to the second row of frames, and the clock remain.
    FrXls->hide();
    FrZr->hide();
    setCheck(chkXx, false, &FrmMd::onChkXxClick);
    frSz->hide();
    LabXx->hide();
    lblXm->setEnabled(true);
    fraXr->hide();
    fraJs->hide();
    fraJf->hide();
    FraFl->hide();
    setTwipsTop(lblXm, twipsGeometry(FrZr).y());
    return;
  }
  if (index != 1 && index != 2) return;
  // The disabled "按名单" entry marks the name-list category.
  if (!MnFl[0]->isEnabled()) {
    FrXls->show();
    FrZr->show();
    fraJf->show();
    setCheck(chkXx, index == 2, &FrmMd::onChkXxClick);
    frXx->setVisible(index == 2);
    frSz->hide();
    LabXx->show();
  } else {
    FrXls->hide();
    FrZr->hide();
    setCheck(chkXx, false, &FrmMd::onChkXxClick);
    frSz->show();
    LabXx->hide();
  }
  lblXm->setEnabled(true);
  fraXr->show();
  fraJs->show();
  FraFl->show();
  setTwipsTop(lblXm, twipsGeometry(frXx).y() + 150);
}

void FrmMd::onChkXxClick() { frXx->setVisible(chkXx->isChecked()); }

}  // namespace velquor

// The introduction window: the text of 说明文档.txt, read afresh at every opening.
#pragma once

#include <QDialog>

class QPlainTextEdit;

namespace velquor {

class CaptionLabel;

class FrmQd : public QDialog {
  Q_OBJECT
 public:
  // `fileName` is looked up as every data file is (findDataFile).
  explicit FrmQd(QWidget* parent = nullptr, const QString& fileName = QStringLiteral("说明文档.txt"));

  CaptionLabel* Label1 = nullptr;
  CaptionLabel* lblBb = nullptr;  // the program's version, below the text
  QPlainTextEdit* Text1 = nullptr;

  // The box's text as loaded: lines joined by CR LF, starting with an empty line.
  QString boxText() const { return boxText_; }

 private:
  void loadText(const QString& name);
  QString boxText_;
};

}  // namespace velquor

#include "app/frmqd.h"

#include <QFile>
#include <QGuiApplication>
#include <QPlainTextEdit>

#include "app/introtext.h"
#include "app/playwave.h"
#include "app/version.h"
#include "app/widgets.h"

namespace velquor {

FrmQd::FrmQd(QWidget* parent, const QString& fileName) : QDialog(parent) {
  setObjectName(QStringLiteral("FrmQd"));
  setWindowTitle(QStringLiteral(" 简介"));
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowModality(Qt::ApplicationModal);
  setFixedSize(twipsToPixels(12540), twipsToPixels(13365));

  Label1 = new CaptionLabel(QStringLiteral("Velquor简介"), this);
  Label1->setObjectName(QStringLiteral("Label1"));
  Label1->setFont(designFont(liFamilies(), 42));
  Label1->setAlignment(Qt::AlignCenter);
  setTwipsGeometry(Label1, 150, 300, 12225, 1155);

  Text1 = new QPlainTextEdit(this);
  Text1->setObjectName(QStringLiteral("Text1"));
  Text1->setFont(designFont(songFamilies(), 12));
  Text1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Text1->setReadOnly(true);
  setTwipsGeometry(Text1, 150, 1620, 12225, 10905);

  lblBb = new CaptionLabel(QStringLiteral("版本 ") + QString::fromLatin1(kVersion), this);
  lblBb->setObjectName(QStringLiteral("lblBb"));
  lblBb->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  setTwipsGeometry(lblBb, 150, 12645, 12225, 375);

  centreOnScreen(this);
  loadText(fileName);
}

void FrmQd::loadText(const QString& name) {
  const QString path = findDataFile(name);
  QFile file(path);
  if (path.isEmpty() || !file.open(QIODevice::ReadOnly)) {
    boxText_ = QStringLiteral("\r\n找不到或无法读取介绍文件“%1”。\r\n"
                              "它应当放在程序所在的文件夹或程序安装的数据文件夹中。程序的其他功能不受影响。")
                   .arg(name);
  } else {
    boxText_ = introductionBoxText(splitLines(decodeIntroduction(file.readAll())));
  }
  QString shown = boxText_;
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  Text1->setPlainText(shown);
}

}  // namespace velquor

#include "app/frmfm.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QTimer>

#include "app/widgets.h"

namespace velquor {

FrmFm::FrmFm(std::function<void()> showMain, QWidget* parent)
    : QWidget(parent, Qt::FramelessWindowHint | Qt::SplashScreen), showMain_(std::move(showMain)) {
  setObjectName(QStringLiteral("FrmFm"));
  setAttribute(Qt::WA_DeleteOnClose);
  setAutoFillBackground(true);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, Qt::white);
  setPalette(pal);
  setFixedSize(twipsToPixels(7185), twipsToPixels(5400));

  Label1 = new CaptionLabel(QStringLiteral("Velquor"), this);
  Label1->setObjectName(QStringLiteral("Label1"));
  Label1->setFont(designFont(yaheiFamilies(), 36));
  Label1->setAlignment(Qt::AlignCenter);
  setTwipsGeometry(Label1, 0, 1500, 7185, 1200);

  const QString captions[3] = {QStringLiteral("Velquor 开发组"), QStringLiteral("2026年12月"),
                               QStringLiteral("联系方式：见说明文档")};
  for (int i = 0; i < 3; ++i) {
    Label2[i] = new CaptionLabel(captions[i], this);
    Label2[i]->setObjectName(QStringLiteral("Label2(%1)").arg(i));
    Label2[i]->setAlignment(Qt::AlignCenter);
    setTwipsGeometry(Label2[i], 0, 3600 + i * 450, 7185, 375);
    Label2[i]->setVisible(i == 1);
  }
  // Clicks on the labels do nothing; only the background skips the splash.
  Label1->installEventFilter(this);
  for (auto* lbl : Label2) lbl->installEventFilter(this);

  centreOnScreen(this);
  splashTicks = 0;
  Timer1 = new QTimer(this);
  Timer1->setObjectName(QStringLiteral("Timer1"));
  Timer1->setInterval(500);
  connect(Timer1, &QTimer::timeout, this, &FrmFm::onTimer1Tick);
  Timer1->start();
}

void FrmFm::onTimer1Tick() {
  ++splashTicks;
  if (splashTicks == 4) finish();
}

void FrmFm::mousePressEvent(QMouseEvent* event) {
  event->accept();
  finish();
}

bool FrmFm::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
      return true;
    default:
      return QWidget::eventFilter(watched, event);
  }
}

void FrmFm::finish() {
  if (finished_) return;
  finished_ = true;
  Timer1->stop();
  if (showMain_) showMain_();
  close();
}

}  // namespace velquor

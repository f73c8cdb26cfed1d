// The splash window shown at start-up. After its fourth 500 ms tick, or at once on a
// click on its background, it shows the main window and closes for good.
#pragma once

#include <QWidget>
#include <functional>

class QTimer;

namespace velquor {

class CaptionLabel;

class FrmFm : public QWidget {
  Q_OBJECT
 public:
  // `showMain` shows the main window; it is called exactly once.
  explicit FrmFm(std::function<void()> showMain, QWidget* parent = nullptr);

  QTimer* Timer1 = nullptr;
  CaptionLabel* Label1 = nullptr;
  CaptionLabel* Label2[3] = {};
  int splashTicks = 0;

  void onTimer1Tick();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void finish();
  std::function<void()> showMain_;
  bool finished_ = false;
};

}  // namespace velquor

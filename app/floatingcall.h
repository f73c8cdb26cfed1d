// The floating call button: a round button above every window, the slide show's included,
// that calls a student with a tap and shows who was called in a large bubble beside it. It
// never takes the keyboard focus. It is dragged with the mouse or a finger, snaps to a screen
// edge it is let go near and, idle there, hides half behind the edge; its place is remembered
// for each screen layout.
#pragma once

#include <QFont>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>
#include <map>

#include "app/floatplace.h"

class QContextMenuEvent;
class QMenu;
class QMouseEvent;
class QPaintEvent;
class QPropertyAnimation;
class QTimer;

namespace velquor {

class FloatButton;
class CallBubble;

class FloatingCall : public QObject {
  Q_OBJECT

 public:
  // What the button asks of the main window.
  struct Hooks {
    std::function<bool()> call;        // a click on the name label; false when it cannot call
    std::function<bool()> rolling;     // the rolling display runs
    std::function<QString()> caption;  // what the name label shows
    std::function<QFont()> nameFont;   // the name label's design font
    std::function<double()> scale;     // the window's scale factor (放大/缩小)
    std::function<void()> backToWindow;  // "返回主窗口"
    std::function<void()> quit;          // "退出"
  };

  // A remembered place: the button's top left and the edge it is snapped to.
  struct Place {
    QPoint topLeft;
    floatplace::Edge edge = floatplace::Edge::None;
  };

  // The bubble's times offered in the menu, in seconds; 0 keeps it until the next tap.
  static constexpr int kBubbleTimes[] = {3, 6, 10, 30, 0};
  static constexpr int kDefaultBubbleSeconds = 6;

  FloatingCall(QObject* parent, Hooks hooks);
  ~FloatingCall() override;

  void show();  // at the place remembered for the screen layout
  void hide();
  bool isShown() const;

  // The name label's caption has changed: a rolling bubble shows it.
  void captionChanged();
  // The screens have changed (resolution, a monitor added or taken away): the place
  // remembered for the new layout, else the button brought back on a screen.
  void screensChanged();
  // Where the screens' usable areas come from; by default the real screens.
  void setScreenSource(std::function<QList<QRect>()> source) { screens_ = std::move(source); }

  int bubbleSeconds() const { return bubbleSeconds_; }
  void setBubbleSeconds(int seconds);

  // The places remembered for each screen layout, as one text for the settings.
  QString places() const;
  void setPlaces(const QString& text);

  FloatButton* button() const { return button_; }
  CallBubble* bubble() const { return bubble_; }
  QMenu* menu() const { return menu_; }

  // ---- The button's gestures (FloatButton reports them) -------------------------------
  void pressed(QPoint global);
  void movedTo(QPoint global);
  void released(QPoint global);
  void cancelled();  // a touch broken off
  void longPressed(QPoint global);

 signals:
  void placeChanged();

 private:
  void tap();
  void showBubble();
  void placeBubble();
  int buttonSize() const;
  QRect screenArea(QPoint centre) const;
  QList<QRect> screenAreas() const;
  QString layout() const;
  void restorePlace();  // after showing or a change of the screens
  void settle(QPoint topLeft);  // let go: snapped, remembered, hiding after a while
  void moveButton(QPoint topLeft, bool animated);
  void setHalfHidden(bool hidden);
  void watchScreens();

  Hooks hooks_;
  std::function<QList<QRect>()> screens_;
  QPointer<FloatButton> button_;
  QPointer<CallBubble> bubble_;
  QMenu* menu_ = nullptr;
  QTimer* hideTimer_ = nullptr;    // idle at an edge: hide half of the button
  QTimer* bubbleTimer_ = nullptr;  // the bubble's time
  QTimer* aboveTimer_ = nullptr;   // raises the windows again when others came above
  QPropertyAnimation* slide_ = nullptr;
  std::map<QString, Place> places_;  // by screen layout
  QString lastLayout_;               // the layout places_ was last used with
  floatplace::Edge edge_ = floatplace::Edge::None;
  bool halfHidden_ = false;
  bool shown_ = false;
  bool bubbleRolling_ = false;  // the bubble follows the rolling display
  int bubbleSeconds_ = kDefaultBubbleSeconds;
  // The gesture in progress.
  bool pressing_ = false;
  bool dragging_ = false;
  bool gestureDone_ = false;  // the press revealed the button or opened the menu: no tap
  QPoint pressGlobal_;
  QPoint pressTopLeft_;
};

// The round button itself; reports its gestures to the FloatingCall.
class FloatButton : public QWidget {
 public:
  explicit FloatButton(FloatingCall& owner);
  void setFaded(bool faded);
  void setDiameter(int size);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  bool event(QEvent* event) override;
  bool nativeEvent(const QByteArray& eventType, void* message, qintptr* result) override;

 private:
  FloatingCall& owner_;
  QTimer* longPress_ = nullptr;
  QPoint longPressAt_;
  bool faded_ = false;
  bool mouseDown_ = false;
};

// The bubble with the name called, in the name label's font, a tenth of the screen high.
class CallBubble : public QWidget {
 public:
  CallBubble();
  void setCaption(const QString& caption, const QFont& font, int screenHeight);
  QString caption() const { return caption_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  bool nativeEvent(const QByteArray& eventType, void* message, qintptr* result) override;

 private:
  QString caption_;
};

}  // namespace velquor

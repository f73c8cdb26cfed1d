// Small widget helpers shared by the windows: geometry in twips and a clickable
// label that keeps its caption exactly as set (two-line captions use CR LF).
#pragma once

#include <QLabel>
#include <functional>
#include <QRect>
#include <QString>
#include <QStringList>

class QWidget;

namespace velquor {

// The program's short name: window title and the title of messages without one of their own.
inline QString applicationTitle() { return QStringLiteral("Velquor"); }

// 15 twips are one pixel.
constexpr int kTwipsPerPixel = 15;
int twipsToPixels(int twips);

// Centres a top-level window on the screen (its frame included).
void centreOnScreen(QWidget* window);

// Places a widget by a rectangle in twips and remembers the twips, so positions computed
// from other positions (and read back by tests) stay exact. The pixels follow the scale of
// the layout the widget belongs to (see app/scaling.h).
void setTwipsGeometry(QWidget* widget, int left, int top, int width, int height);
QRect twipsGeometry(const QWidget* widget);
// The pixel rectangle of `twips` for a widget of a scaled layout: the nearest ancestor
// carrying a scale gives the factor and, to the controls standing directly on it, the
// offset that centres the layout.
QRect twipsToPixelRect(const QWidget* widget, const QRect& twips);
inline constexpr const char* kLayoutScaleProperty = "layoutScale";
inline constexpr const char* kLayoutOffsetProperty = "layoutOffset";
void setTwipsTop(QWidget* widget, int top);
void setTwipsLeftTop(QWidget* widget, int left, int top);

// A font of the first of the families that is installed; the later names are fall-backs
// of similar weight that can show Chinese characters. Size in points at 96 dpi.
QFont designFont(const QStringList& families, double points, bool bold = false);
QStringList yaheiFamilies();  // 微软雅黑 and its fall-backs
QStringList songFamilies();   // 宋体 and its fall-backs
QStringList kaiFamilies();    // 华文楷体 and its fall-backs
QStringList liFamilies();     // 隶书 and its fall-backs

// Hands a widget's events to a function before the widget sees them.
class EventHook : public QObject {
 public:
  EventHook(QObject* parent, std::function<void(QEvent*)> hook) : QObject(parent), hook_(std::move(hook)) {}

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    hook_(event);
    return false;
  }

 private:
  std::function<void(QEvent*)> hook_;
};

// The mouse wheel over a closed drop-down changes nothing: a stray scroll is not a choice.
// (The open list scrolls as usual; it is a widget of its own.)
void ignoreWheel(QWidget* control);

// A focus loss to another control of the window. A message box, a popup, the menu bar
// or another window taking the focus is not one. Callers also ignore the loss of a box
// that is no longer visible: hiding its frame moves the focus, not the teacher.
bool isFocusLossToControl(const QEvent* event);

// A label with a click and an exact caption; CR LF shows as a line break.
class CaptionLabel : public QLabel {
  Q_OBJECT
 public:
  explicit CaptionLabel(const QString& caption, QWidget* parent = nullptr);
  void setCaption(const QString& caption);
  QString caption() const { return caption_; }

 signals:
  void clicked();
  void captionChanged();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  QString caption_;
  bool pressed_ = false;
};

}  // namespace velquor

#include "app/widgets.h"

#include <QFocusEvent>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QScreen>
#include <QMouseEvent>
#include <QVariant>
#include <QWidget>
#include <cmath>

namespace velquor {

int twipsToPixels(int twips) {
  // Round to the nearest pixel, halves away from zero.
  return twips >= 0 ? (twips + kTwipsPerPixel / 2) / kTwipsPerPixel
                    : -((-twips + kTwipsPerPixel / 2) / kTwipsPerPixel);
}

void centreOnScreen(QWidget* window) {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect area = screen->availableGeometry();
  const QRect frame = window->frameGeometry();
  window->move(area.x() + (area.width() - frame.width()) / 2, area.y() + (area.height() - frame.height()) / 2);
}

void setTwipsGeometry(QWidget* widget, int left, int top, int width, int height) {
  const QRect twips(left, top, width, height);
  widget->setProperty("twips", twips);
  widget->setGeometry(twipsToPixelRect(widget, twips));
}

QRect twipsToPixelRect(const QWidget* widget, const QRect& twips) {
  double factor = 1.0;
  QPoint offset;
  for (const QWidget* up = widget->parentWidget(); up; up = up->parentWidget()) {
    const QVariant scale = up->property(kLayoutScaleProperty);
    if (!scale.isValid()) continue;
    factor = scale.toDouble();
    if (up == widget->parentWidget()) offset = up->property(kLayoutOffsetProperty).toPoint();
    break;
  }
  // Each edge and size rounds on its own, so every rectangle is within half a pixel of
  // the design rectangle times the factor.
  const auto px = [factor](int t) { return static_cast<int>(std::lround(t * factor / kTwipsPerPixel)); };
  return QRect(px(twips.x()) + offset.x(), px(twips.y()) + offset.y(), px(twips.width()), px(twips.height()));
}

QRect twipsGeometry(const QWidget* widget) {
  const QVariant twips = widget->property("twips");
  if (twips.isValid()) return twips.toRect();
  const QRect px = widget->geometry();
  return QRect(px.x() * kTwipsPerPixel, px.y() * kTwipsPerPixel, px.width() * kTwipsPerPixel,
               px.height() * kTwipsPerPixel);
}

void setTwipsTop(QWidget* widget, int top) {
  const QRect r = twipsGeometry(widget);
  setTwipsGeometry(widget, r.x(), top, r.width(), r.height());
}

void setTwipsLeftTop(QWidget* widget, int left, int top) {
  const QRect r = twipsGeometry(widget);
  setTwipsGeometry(widget, left, top, r.width(), r.height());
}

QFont designFont(const QStringList& families, double points, bool bold) {
  QFont font;
  font.setFamilies(families);
  // Points at 96 dpi, so the design sizes keep their proportions to the twips geometry.
  font.setPixelSize(static_cast<int>(points * 96.0 / 72.0 + 0.5));
  font.setBold(bold);
  return font;
}

// Each list names the design's font under its Chinese and its English family name (Chinese
// Windows has them), then fonts of a like face found on Linux and on other Windows systems,
// and ends with the faces every Windows 10/11 and every Linux desktop with Noto CJK has, so a
// Chinese caption never falls to a font without Chinese characters.
namespace {
QStringList withCommonChinese(QStringList families) {
  for (const char* common : {"微软雅黑", "Microsoft YaHei", "宋体", "SimSun", "Noto Sans CJK SC"})
    if (!families.contains(QString::fromUtf8(common))) families << QString::fromUtf8(common);
  return families;
}
}  // namespace

QStringList yaheiFamilies() {
  return withCommonChinese({QStringLiteral("微软雅黑"), QStringLiteral("Microsoft YaHei"), QStringLiteral("Noto Sans CJK SC"),
                            QStringLiteral("Noto Sans SC"), QStringLiteral("黑体"), QStringLiteral("SimHei")});
}
QStringList songFamilies() {
  return withCommonChinese({QStringLiteral("宋体"), QStringLiteral("SimSun"), QStringLiteral("NSimSun"),
                            QStringLiteral("Noto Serif CJK SC"), QStringLiteral("Noto Sans CJK SC")});
}
QStringList kaiFamilies() {
  return withCommonChinese({QStringLiteral("华文楷体"), QStringLiteral("STKaiti"), QStringLiteral("楷体"),
                            QStringLiteral("KaiTi"), QStringLiteral("AR PL UKai CN"), QStringLiteral("AR PL UKai TW"),
                            QStringLiteral("Noto Serif CJK SC")});
}
QStringList liFamilies() {
  return withCommonChinese({QStringLiteral("隶书"), QStringLiteral("LiSu"), QStringLiteral("华文隶书"),
                            QStringLiteral("STLiti"), QStringLiteral("楷体"), QStringLiteral("KaiTi"),
                            QStringLiteral("AR PL UKai CN"), QStringLiteral("Noto Serif CJK SC")});
}

namespace {

class WheelBlocker : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() != QEvent::Wheel) return false;
    event->ignore();
    return true;
  }
};

}  // namespace

void ignoreWheel(QWidget* control) { control->installEventFilter(new WheelBlocker(control)); }

bool isFocusLossToControl(const QEvent* event) {
  if (event->type() != QEvent::FocusOut) return false;
  const Qt::FocusReason reason = static_cast<const QFocusEvent*>(event)->reason();
  return reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason &&
         reason != Qt::MenuBarFocusReason;
}

CaptionLabel::CaptionLabel(const QString& caption, QWidget* parent) : QLabel(parent) { setCaption(caption); }

void CaptionLabel::setCaption(const QString& caption) {
  caption_ = caption;
  QString shown = caption;
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  setText(shown);
  emit captionChanged();
}

void CaptionLabel::mousePressEvent(QMouseEvent* event) {
  pressed_ = event->button() == Qt::LeftButton;
  event->accept();
}

void CaptionLabel::mouseReleaseEvent(QMouseEvent* event) {
  // A click completes when the button goes up over the label, as a command button's does.
  const bool click = pressed_ && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
  pressed_ = false;
  event->accept();
  if (click && isEnabled()) emit clicked();
}

void CaptionLabel::mouseDoubleClickEvent(QMouseEvent* event) {
  // The second press of a double-click is not a new click: its release clicks nothing.
  pressed_ = false;
  event->accept();
}

}  // namespace velquor

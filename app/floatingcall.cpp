#include "app/floatingcall.h"

#include <QAccessible>
#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPropertyAnimation>
#include <QRegion>
#include <QScreen>
#include <QStringList>
#include <QTimer>
#include <QTouchEvent>
#include <algorithm>
#include <cmath>

#include "app/floatingcall_platform.h"

namespace velquor {
namespace {

using floatplace::Edge;

constexpr double kButtonCm = 1.2;
constexpr int kHideAfterMs = 3000;
constexpr int kLongPressMs = 600;
constexpr int kSlideMs = 180;
constexpr int kPlacesLength = 260;  // what the settings keep of a text


QString indexed(const char* name, int index) { return QStringLiteral("%1(%2)").arg(QLatin1String(name)).arg(index); }

QString secondsCaption(int seconds) {
  return seconds == 0 ? QStringLiteral("直到下次点名") : QStringLiteral("%1 秒").arg(seconds);
}

}  // namespace

// ---- The button ----------------------------------------------------------------------------

FloatButton::FloatButton(FloatingCall& owner) : QWidget(nullptr, floatplatform::windowFlags()), owner_(owner) {
  setObjectName(QStringLiteral("cmdXf"));
  setAccessibleName(QStringLiteral("悬浮点名按钮"));
  setAccessibleDescription(QStringLiteral("单击或轻触：点名；拖动：移动；右键或长按：菜单"));
  setToolTip(QStringLiteral("点名"));
  setFocusPolicy(Qt::NoFocus);
  setAttribute(Qt::WA_AcceptTouchEvents);
  setAttribute(Qt::WA_DeleteOnClose, false);
  setCursor(Qt::PointingHandCursor);
  longPress_ = new QTimer(this);
  longPress_->setObjectName(QStringLiteral("timXfCa"));
  longPress_->setSingleShot(true);
  longPress_->setInterval(kLongPressMs);
  connect(longPress_, &QTimer::timeout, this, [this] { owner_.longPressed(longPressAt_); });
}

void FloatButton::setFaded(bool faded) {
  faded_ = faded;
  update();
}

void FloatButton::setDiameter(int size) {
  setFixedSize(size, size);
  setMask(QRegion(0, 0, size, size, QRegion::Ellipse));
}

void FloatButton::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF r = QRectF(rect()).adjusted(1, 1, -1, -1);
  // Without a compositor a window cannot be see-through; a faded button says the same. It
  // is painted opaque in paler colours: half-transparent paint would pile up on itself
  // where nothing clears the window, leaving trails as it slides.
  QRadialGradient fill(r.center() - QPointF(r.width() / 6, r.height() / 6), r.width() * 0.7);
  fill.setColorAt(0, faded_ ? QColor(255, 205, 185) : QColor(255, 140, 90));
  fill.setColorAt(1, faded_ ? QColor(235, 160, 150) : QColor(200, 40, 30));
  p.setBrush(fill);
  p.setPen(QPen(Qt::white, std::max(1.0, width() / 24.0)));
  p.drawEllipse(r);
  QFont font = this->font();
  font.setBold(true);
  font.setPixelSize(std::max(6, width() / 4));
  p.setFont(font);
  p.setPen(faded_ ? QColor(255, 240, 235) : QColor(Qt::white));
  p.drawText(rect(), Qt::AlignCenter, QStringLiteral("点名"));
}

void FloatButton::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  mouseDown_ = true;
  longPressAt_ = event->globalPosition().toPoint();
  longPress_->start();
  owner_.pressed(longPressAt_);
}

void FloatButton::mouseMoveEvent(QMouseEvent* event) {
  if (!mouseDown_) return;
  const QPoint at = event->globalPosition().toPoint();
  if ((at - longPressAt_).manhattanLength() >= QApplication::startDragDistance()) longPress_->stop();
  owner_.movedTo(at);
}

void FloatButton::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !mouseDown_) return;
  mouseDown_ = false;
  longPress_->stop();
  owner_.released(event->globalPosition().toPoint());
}

void FloatButton::contextMenuEvent(QContextMenuEvent* event) {
  if (event->reason() == QContextMenuEvent::Mouse) owner_.longPressed(event->globalPos());
}

bool FloatButton::event(QEvent* e) {
  switch (e->type()) {
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd: {
      auto* touch = static_cast<QTouchEvent*>(e);
      e->accept();
      if (touch->points().isEmpty()) return true;
      const QPoint at = touch->points().first().globalPosition().toPoint();
      if (e->type() == QEvent::TouchBegin) {
        longPressAt_ = at;
        longPress_->start();
        owner_.pressed(at);
      } else if (e->type() == QEvent::TouchUpdate) {
        if ((at - longPressAt_).manhattanLength() >= QApplication::startDragDistance()) longPress_->stop();
        owner_.movedTo(at);
      } else {
        longPress_->stop();
        owner_.released(at);
      }
      return true;
    }
    case QEvent::TouchCancel:
      longPress_->stop();
      mouseDown_ = false;
      owner_.cancelled();
      e->accept();
      return true;
    default:
      return QWidget::event(e);
  }
}

bool FloatButton::nativeEvent(const QByteArray& eventType, void* message, qintptr* result) {
  return floatplatform::nativeEvent(this, eventType, message, result) || QWidget::nativeEvent(eventType, message, result);
}

// ---- The bubble ----------------------------------------------------------------------------

CallBubble::CallBubble() : QWidget(nullptr, floatplatform::windowFlags()) {
  setObjectName(QStringLiteral("lblQp"));
  setFocusPolicy(Qt::NoFocus);
  setAttribute(Qt::WA_ShowWithoutActivating);
}

void CallBubble::setCaption(const QString& caption, const QFont& designFont, int screenHeight) {
  caption_ = caption;
  setAccessibleName(QString(caption).replace(QStringLiteral("\r\n"), QStringLiteral(" ")));
  QFont font = designFont;
  // Each line at least a tenth of the screen's height.
  font.setPixelSize(std::max(12, static_cast<int>(std::ceil(screenHeight / 10.0))));
  setFont(font);
  const QFontMetrics metrics(font);
  const QStringList lines = caption.split(QStringLiteral("\r\n"));
  int width = 0;
  for (const QString& line : lines) width = std::max(width, metrics.horizontalAdvance(line));
  const int pad = metrics.height() / 4;
  const QSize size(width + 2 * pad, std::max(1, static_cast<int>(lines.size())) * metrics.lineSpacing() + 2 * pad);
  setFixedSize(size);
  QPainterPath path;
  path.addRoundedRect(QRectF(QPointF(0, 0), QSizeF(size)), pad, pad);
  setMask(QRegion(path.toFillPolygon().toPolygon()));
  QAccessibleEvent changed(this, QAccessible::NameChanged);
  QAccessible::updateAccessibility(&changed);
  update();
}

void CallBubble::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  const QFontMetrics metrics(font());
  const int pad = metrics.height() / 4;
  p.setPen(QPen(QColor(160, 40, 30), 3));
  p.setBrush(QColor(255, 250, 220));
  p.drawRoundedRect(QRectF(rect()).adjusted(1.5, 1.5, -1.5, -1.5), pad, pad);
  p.setPen(QColor(150, 20, 10));
  const QStringList lines = caption_.split(QStringLiteral("\r\n"));
  int y = pad;
  for (const QString& line : lines) {
    p.drawText(QRect(pad, y, width() - 2 * pad, metrics.lineSpacing()), Qt::AlignCenter, line);
    y += metrics.lineSpacing();
  }
}

void CallBubble::mousePressEvent(QMouseEvent*) { hide(); }

bool CallBubble::nativeEvent(const QByteArray& eventType, void* message, qintptr* result) {
  return floatplatform::nativeEvent(this, eventType, message, result) || QWidget::nativeEvent(eventType, message, result);
}

// ---- The controller ------------------------------------------------------------------------

FloatingCall::FloatingCall(QObject* parent, Hooks hooks) : QObject(parent), hooks_(std::move(hooks)) {
  setObjectName(QStringLiteral("floatingCall"));
  button_ = new FloatButton(*this);
  bubble_ = new CallBubble;
  for (QWidget* window : {static_cast<QWidget*>(button_), static_cast<QWidget*>(bubble_)}) {
    window->winId();  // the native window, so the platform can set it up before it is shown
    floatplatform::prepare(window);
  }

  menu_ = new QMenu(button_);
  menu_->setObjectName(QStringLiteral("MnXfCd"));
  QAction* back = menu_->addAction(QStringLiteral("返回主窗口"));
  back->setObjectName(QStringLiteral("MnXfFh"));
  connect(back, &QAction::triggered, this, [this] { hooks_.backToWindow(); });
  QMenu* times = menu_->addMenu(QStringLiteral("名字显示时间"));
  times->setObjectName(QStringLiteral("MnXfSj"));
  auto* timeGroup = new QActionGroup(times);
  int i = 0;
  for (const int seconds : kBubbleTimes) {
    QAction* entry = times->addAction(secondsCaption(seconds));
    entry->setObjectName(indexed("MnXfSj", i++));
    entry->setCheckable(true);
    entry->setData(seconds);
    timeGroup->addAction(entry);
    connect(entry, &QAction::triggered, this, [this, seconds] { setBubbleSeconds(seconds); });
  }
  menu_->addSeparator();
  QAction* quit = menu_->addAction(QStringLiteral("退出"));
  quit->setObjectName(QStringLiteral("MnXfTc"));
  connect(quit, &QAction::triggered, this, [this] { hooks_.quit(); });

  hideTimer_ = new QTimer(this);
  hideTimer_->setObjectName(QStringLiteral("timXfYc"));
  hideTimer_->setSingleShot(true);
  hideTimer_->setInterval(kHideAfterMs);
  connect(hideTimer_, &QTimer::timeout, this, [this] { setHalfHidden(true); });
  bubbleTimer_ = new QTimer(this);
  bubbleTimer_->setObjectName(QStringLiteral("timQp"));
  bubbleTimer_->setSingleShot(true);
  connect(bubbleTimer_, &QTimer::timeout, this, [this] { bubble_->hide(); });
  aboveTimer_ = new QTimer(this);
  aboveTimer_->setInterval(400);
  connect(aboveTimer_, &QTimer::timeout, this, [this] {
    floatplatform::keepAbove(button_);
    floatplatform::keepAbove(bubble_);
  });
  slide_ = new QPropertyAnimation(button_, "pos", this);
  slide_->setDuration(kSlideMs);
  setBubbleSeconds(kDefaultBubbleSeconds);
  watchScreens();
}

FloatingCall::~FloatingCall() {
  delete button_;
  delete bubble_;
}

bool FloatingCall::isShown() const { return shown_; }

void FloatingCall::show() {
  shown_ = true;
  button_->setDiameter(buttonSize());
  restorePlace();
  button_->show();
  floatplatform::keepAbove(button_);
  aboveTimer_->start();
}

void FloatingCall::hide() {
  shown_ = false;
  slide_->stop();
  hideTimer_->stop();
  bubbleTimer_->stop();
  aboveTimer_->stop();
  menu_->close();
  bubble_->hide();
  button_->hide();
  bubbleRolling_ = false;
}

int FloatingCall::buttonSize() const {
  const QScreen* screen = button_->screen() ? button_->screen() : QGuiApplication::primaryScreen();
  double dpi = 96.0;
  if (screen) {
    // A screen that reports no believable size of its own is taken at its logical resolution.
    const double physical = screen->physicalDotsPerInch() / std::max(1.0, screen->devicePixelRatio());
    dpi = physical >= 50 && physical <= 600 ? physical : screen->logicalDotsPerInch();
  }
  const double scale = hooks_.scale ? std::max(1.0, hooks_.scale()) : 1.0;
  return std::max(24, static_cast<int>(std::lround(kButtonCm / 2.54 * dpi * scale)));
}

QList<QRect> FloatingCall::screenAreas() const {
  if (screens_) return screens_();
  QList<QRect> areas;
  for (const QScreen* screen : QGuiApplication::screens()) areas.append(screen->availableGeometry());
  return areas;
}

QRect FloatingCall::screenArea(QPoint centre) const {
  const QList<QRect> areas = screenAreas();
  const int i = floatplace::screenFor(centre, areas);
  return i < 0 ? QRect(0, 0, 1024, 768) : areas[i];
}

QString FloatingCall::layout() const { return floatplace::layoutKey(screenAreas()); }

void FloatingCall::restorePlace() {
  const int size = button_->width();
  const QString key = layout();
  lastLayout_ = key;
  const auto known = places_.find(key);
  Place place;
  if (known != places_.end()) {
    place = known->second;
  } else {
    const QList<QRect> areas = screenAreas();
    const QRect area = areas.isEmpty() ? QRect(0, 0, 1024, 768) : areas.first();
    place.topLeft = floatplace::defaultPlace(size, area);
    place.edge = Edge::Right;
  }
  // A remembered place is taken again as if let go there: whatever changed, it is on a screen.
  const QRect area = screenArea(place.topLeft + QPoint(size / 2, size / 2));
  edge_ = place.edge;
  const QPoint at = floatplace::snapTo(place.topLeft, size, area, edge_);
  slide_->stop();
  halfHidden_ = false;
  button_->setFaded(false);
  button_->setWindowOpacity(1.0);
  button_->move(at);
  places_[key] = Place{at, edge_};
  if (edge_ != Edge::None) hideTimer_->start();
}

void FloatingCall::moveButton(QPoint topLeft, bool animated) {
  slide_->stop();
  if (!animated || !button_->isVisible()) {
    button_->move(topLeft);
    return;
  }
  slide_->setStartValue(button_->pos());
  slide_->setEndValue(topLeft);
  slide_->start();
}

void FloatingCall::setHalfHidden(bool hidden) {
  if (hidden == halfHidden_ || edge_ == Edge::None || !shown_) return;
  const Place place = places_[lastLayout_];
  halfHidden_ = hidden;
  if (hidden) bubble_->hide();
  button_->setFaded(hidden);
  button_->setWindowOpacity(hidden ? 0.5 : 1.0);
  moveButton(hidden ? floatplace::halfHidden(place.topLeft, button_->width(), edge_) : place.topLeft, true);
}

void FloatingCall::settle(QPoint topLeft) {
  const int size = button_->width();
  const QRect area = screenArea(topLeft + QPoint(size / 2, size / 2));
  edge_ = floatplace::nearEdge(topLeft, size, area, size);
  const QPoint at = floatplace::snapTo(topLeft, size, area, edge_);
  moveButton(at, at != topLeft);
  places_[layout()] = Place{at, edge_};
  lastLayout_ = layout();
  if (edge_ != Edge::None) hideTimer_->start();
  emit placeChanged();
}

void FloatingCall::screensChanged() {
  if (!shown_) return;
  // A layout seen for the first time starts from the place the button had.
  if (layout() != lastLayout_ && !places_.count(layout())) {
    const Place old = places_[lastLayout_];
    places_[layout()] = old;
  }
  restorePlace();
  placeBubble();
  emit placeChanged();
}

void FloatingCall::watchScreens() {
  const auto again = [this] {
    // After the screens have all told of the change.
    QTimer::singleShot(0, this, [this] { screensChanged(); });
  };
  const auto watch = [this, again](QScreen* screen) {
    connect(screen, &QScreen::geometryChanged, this, again);
    connect(screen, &QScreen::availableGeometryChanged, this, again);
  };
  for (QScreen* screen : QGuiApplication::screens()) watch(screen);
  connect(qApp, &QGuiApplication::screenAdded, this, [watch, again](QScreen* screen) {
    watch(screen);
    again();
  });
  connect(qApp, &QGuiApplication::screenRemoved, this, again);
  connect(qApp, &QGuiApplication::primaryScreenChanged, this, again);
}

// ---- Gestures --------------------------------------------------------------------------------

void FloatingCall::pressed(QPoint global) {
  pressing_ = true;
  dragging_ = false;
  gestureDone_ = false;
  pressGlobal_ = global;
  slide_->stop();
  hideTimer_->stop();
  if (halfHidden_) {
    // Touching the hidden button brings it back; the touch is no call.
    setHalfHidden(false);
    slide_->stop();
    button_->move(places_[lastLayout_].topLeft);
    gestureDone_ = true;
  }
  pressTopLeft_ = button_->pos();
}

void FloatingCall::movedTo(QPoint global) {
  if (!pressing_) return;
  const QPoint delta = global - pressGlobal_;
  if (!dragging_ && delta.manhattanLength() < QApplication::startDragDistance()) return;
  if (!dragging_) {
    dragging_ = true;
    bubble_->hide();
  }
  button_->move(pressTopLeft_ + delta);
}

void FloatingCall::released(QPoint global) {
  if (!pressing_) return;
  movedTo(global);
  pressing_ = false;
  if (dragging_) {
    dragging_ = false;
    settle(button_->pos());
    return;
  }
  if (edge_ != Edge::None) hideTimer_->start();
  if (!gestureDone_) tap();
}

void FloatingCall::cancelled() {
  if (!pressing_) return;
  pressing_ = false;
  // A touch that breaks off is no call and no move: the button goes back where it was.
  const bool moved = dragging_;
  dragging_ = false;
  if (moved) moveButton(pressTopLeft_, false);
  if (edge_ != Edge::None) hideTimer_->start();
}

void FloatingCall::longPressed(QPoint global) {
  if (dragging_) return;
  gestureDone_ = true;
  pressing_ = false;
  hideTimer_->stop();
  for (QAction* entry : menu_->findChild<QMenu*>(QStringLiteral("MnXfSj"))->actions())
    entry->setChecked(entry->data().toInt() == bubbleSeconds_);
  menu_->popup(global);
  connect(menu_, &QMenu::aboutToHide, this, [this] {
    if (shown_ && edge_ != Edge::None) hideTimer_->start();
  }, Qt::SingleShotConnection);
}

// ---- Calling and the bubble ------------------------------------------------------------------

void FloatingCall::tap() {
  bubbleTimer_->stop();
  if (!hooks_.call()) return;
  bubbleRolling_ = hooks_.rolling();
  // The rolling display shows its first candidate at its first tick.
  if (bubbleRolling_) return;
  showBubble();
}

void FloatingCall::captionChanged() {
  if (shown_ && bubbleRolling_) showBubble();
}

void FloatingCall::showBubble() {
  const QRect area = screenArea(button_->geometry().center());
  bubble_->setCaption(hooks_.caption(), hooks_.nameFont(), area.height());
  placeBubble();
  bubble_->show();
  floatplatform::keepAbove(bubble_);
  if (!bubbleRolling_ && bubbleSeconds_ > 0) bubbleTimer_->start(bubbleSeconds_ * 1000);
}

void FloatingCall::placeBubble() {
  const QRect button = QRect(places_[lastLayout_].topLeft, button_->size());
  const QRect area = screenArea(button.center());
  bubble_->move(floatplace::bubbleRect(button, bubble_->size(), area, button.width() / 4).topLeft());
}

void FloatingCall::setBubbleSeconds(int seconds) {
  bubbleSeconds_ = std::clamp(seconds, 0, 600);
}

// ---- Remembered places -----------------------------------------------------------------------

QString FloatingCall::places() const {
  // The layout in use first; older ones as long as the text stays short enough to keep.
  QStringList entries;
  const auto entry = [](const QString& key, const Place& p) {
    return QStringLiteral("%1=%2,%3,%4").arg(key).arg(p.topLeft.x()).arg(p.topLeft.y()).arg(static_cast<int>(p.edge));
  };
  int length = 0;
  if (const auto now = places_.find(lastLayout_); now != places_.end()) {
    entries.append(entry(now->first, now->second));
    length = static_cast<int>(entries.last().size());
  }
  for (const auto& [key, place] : places_) {
    if (key == lastLayout_) continue;
    const QString e = entry(key, place);
    if (length + 1 + e.size() > kPlacesLength) continue;
    entries.append(e);
    length += 1 + static_cast<int>(e.size());
  }
  return entries.join(QLatin1Char('|'));
}

void FloatingCall::setPlaces(const QString& text) {
  places_.clear();
  for (const QString& e : text.split(QLatin1Char('|'), Qt::SkipEmptyParts)) {
    const int eq = e.lastIndexOf(QLatin1Char('='));
    if (eq <= 0) continue;
    const QStringList v = e.mid(eq + 1).split(QLatin1Char(','));
    if (v.size() != 3) continue;
    bool okX = false, okY = false, okE = false;
    const int x = v[0].toInt(&okX), y = v[1].toInt(&okY), edge = v[2].toInt(&okE);
    if (!okX || !okY || !okE || edge < 0 || edge > 4) continue;
    places_[e.left(eq)] = Place{QPoint(x, y), static_cast<Edge>(edge)};
  }
}

}  // namespace velquor

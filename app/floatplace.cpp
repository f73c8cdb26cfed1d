#include "app/floatplace.h"

#include <QStringList>
#include <algorithm>
#include <climits>

namespace velquor::floatplace {
namespace {

long long squaredDistance(QPoint p, const QRect& r) {
  const long long dx = p.x() < r.left() ? r.left() - p.x() : (p.x() > r.right() ? p.x() - r.right() : 0);
  const long long dy = p.y() < r.top() ? r.top() - p.y() : (p.y() > r.bottom() ? p.y() - r.bottom() : 0);
  return dx * dx + dy * dy;
}

}  // namespace

int cornerZone(int size) { return size + size / 2; }

int screenFor(QPoint centre, const QList<QRect>& screens) {
  int best = -1;
  long long bestDistance = LLONG_MAX;
  for (int i = 0; i < screens.size(); ++i) {
    const long long d = squaredDistance(centre, screens[i]);
    if (d < bestDistance) {
      best = i;
      bestDistance = d;
    }
  }
  return best;
}

QPoint keepOnScreen(QPoint topLeft, int size, const QRect& screen) {
  const int left = screen.left();
  const int top = screen.top();
  const int right = std::max(left, screen.left() + screen.width() - size);
  const int bottom = std::max(top, screen.top() + screen.height() - size);
  int x = std::clamp(topLeft.x(), left, right);
  int y = std::clamp(topLeft.y(), top, bottom);
  const int corner = cornerZone(size);
  // Within a corner zone on both axes: out along the axis that moves it least.
  const bool nearLeft = x < left + corner, nearRight = x + size > screen.left() + screen.width() - corner;
  const bool nearTop = y < top + corner, nearBottom = y + size > screen.top() + screen.height() - corner;
  if ((nearLeft || nearRight) && (nearTop || nearBottom)) {
    const int outX = nearLeft ? left + corner - x : x + size - (screen.left() + screen.width() - corner);
    const int outY = nearTop ? top + corner - y : y + size - (screen.top() + screen.height() - corner);
    if (outY <= outX)
      y = std::clamp(nearTop ? top + corner : screen.top() + screen.height() - corner - size, top, bottom);
    else
      x = std::clamp(nearLeft ? left + corner : screen.left() + screen.width() - corner - size, left, right);
  }
  return {x, y};
}

Edge nearEdge(QPoint topLeft, int size, const QRect& screen, int distance) {
  const int gaps[] = {topLeft.x() - screen.left(), screen.left() + screen.width() - (topLeft.x() + size),
                      topLeft.y() - screen.top(), screen.top() + screen.height() - (topLeft.y() + size)};
  int best = -1;
  for (int i = 0; i < 4; ++i) {
    if (gaps[i] <= distance && (best < 0 || gaps[i] < gaps[best])) best = i;
  }
  return best < 0 ? Edge::None : static_cast<Edge>(best + 1);
}

QPoint snapTo(QPoint topLeft, int size, const QRect& screen, Edge edge) {
  QPoint p = topLeft;
  switch (edge) {
    case Edge::Left: p.setX(screen.left()); break;
    case Edge::Right: p.setX(screen.left() + screen.width() - size); break;
    case Edge::Top: p.setY(screen.top()); break;
    case Edge::Bottom: p.setY(screen.top() + screen.height() - size); break;
    case Edge::None: break;
  }
  return keepOnScreen(p, size, screen);
}

QPoint halfHidden(QPoint snapped, int size, Edge edge) {
  switch (edge) {
    case Edge::Left: return snapped - QPoint(size / 2, 0);
    case Edge::Right: return snapped + QPoint(size / 2, 0);
    case Edge::Top: return snapped - QPoint(0, size / 2);
    case Edge::Bottom: return snapped + QPoint(0, size / 2);
    case Edge::None: break;
  }
  return snapped;
}

QPoint defaultPlace(int size, const QRect& screen) {
  return snapTo(QPoint(0, screen.top() + screen.height() * 2 / 5 - size / 2), size, screen, Edge::Right);
}

QRect bubbleRect(const QRect& button, QSize bubble, const QRect& screen, int gap) {
  const bool toLeft = button.center().x() > screen.center().x();
  const int x = toLeft ? button.left() - gap - bubble.width() : button.right() + 1 + gap;
  const int y = button.center().y() - bubble.height() / 2;
  QRect r(QPoint(x, y), bubble);
  // A bubble wider than the room beside the button still stays on the screen.
  r.moveLeft(std::clamp(r.left(), screen.left(), std::max(screen.left(), screen.left() + screen.width() - r.width())));
  r.moveTop(std::clamp(r.top(), screen.top(), std::max(screen.top(), screen.top() + screen.height() - r.height())));
  return r;
}

QString layoutKey(const QList<QRect>& screens) {
  QStringList parts;
  for (const QRect& r : screens)
    parts.append(QStringLiteral("%1x%2+%3+%4").arg(r.width()).arg(r.height()).arg(r.x()).arg(r.y()));
  return parts.join(QLatin1Char(';'));
}

}  // namespace velquor::floatplace

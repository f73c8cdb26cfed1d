// Where the floating call button stands: kept on a screen and off its corners, snapped to
// an edge it is let go near, half hidden behind that edge while idle, remembered per screen
// layout. Plain geometry, no widgets.
#pragma once

#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

namespace velquor::floatplace {

enum class Edge { None = 0, Left, Right, Top, Bottom };

// The corner zones a button of `size` keeps out of: squares of this side at each corner.
int cornerZone(int size);

// The screen (index into `screens`) a button whose centre is at `centre` belongs to: the one
// holding the centre, else the nearest. -1 when there is no screen.
int screenFor(QPoint centre, const QList<QRect>& screens);

// The place nearest `topLeft` at which a button of `size` lies wholly within `screen` and
// outside its corner zones.
QPoint keepOnScreen(QPoint topLeft, int size, const QRect& screen);

// The edge of `screen` within `distance` of the button, the nearest one; None when none is.
Edge nearEdge(QPoint topLeft, int size, const QRect& screen, int distance);

// The button flush against `edge` (None: kept on screen only), off the corners.
QPoint snapTo(QPoint topLeft, int size, const QRect& screen, Edge edge);

// The button snapped to `edge` and moved half out of view behind it.
QPoint halfHidden(QPoint snapped, int size, Edge edge);

// The default place: against the right edge, a little above the middle.
QPoint defaultPlace(int size, const QRect& screen);

// Beside the button, on the side towards the screen's middle, within the screen.
QRect bubbleRect(const QRect& button, QSize bubble, const QRect& screen, int gap);

// Names a screen layout (every screen's geometry), so a place is remembered for each layout.
QString layoutKey(const QList<QRect>& screens);

}  // namespace velquor::floatplace

// X11 (and every platform but Windows). A window manager that keeps "above" windows above
// the rest still stacks a focused full-screen window over them, so the floating windows are
// not managed at all (override-redirect): no window manager stacks them, frames them or gives
// them the focus. They tell Qt not to ask for activation (WindowDoesNotAcceptFocus, also the
// WM_HINTS input hint), and are raised again whenever another window has come above them.
#include "app/floatingcall_platform.h"

#include <QGuiApplication>
#include <QWidget>

#ifdef VELQUOR_HAS_XCB
#include <xcb/xcb.h>

#include <cstdlib>
#endif

namespace velquor::floatplatform {
namespace {

#ifdef VELQUOR_HAS_XCB
xcb_connection_t* connection() {
  if (QGuiApplication::platformName() != QLatin1String("xcb")) return nullptr;
  const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  return x11 ? x11->connection() : nullptr;
}

// The top-level window of the screen's stacking order that holds `window` (itself when it
// is a child of the root).
bool isTopmostMapped(xcb_connection_t* c, xcb_window_t window) {
  const xcb_setup_t* setup = xcb_get_setup(c);
  const xcb_screen_t* screen = xcb_setup_roots_iterator(setup).data;
  xcb_query_tree_reply_t* tree = xcb_query_tree_reply(c, xcb_query_tree(c, screen->root), nullptr);
  if (!tree) return true;
  const xcb_window_t* children = xcb_query_tree_children(tree);
  const int count = xcb_query_tree_children_length(tree);
  // Bottom to top: every mapped window above ours is one to raise ours over.
  bool ours = false, above = false;
  for (int i = 0; i < count && !above; ++i) {
    if (children[i] == window) {
      ours = true;
      continue;
    }
    if (!ours) continue;
    xcb_get_window_attributes_reply_t* a =
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, children[i]), nullptr);
    if (a && a->map_state == XCB_MAP_STATE_VIEWABLE) above = true;
    std::free(a);
  }
  std::free(tree);
  return !above;
}
#endif

}  // namespace

Qt::WindowFlags windowFlags() {
  return Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus |
         Qt::X11BypassWindowManagerHint | Qt::NoDropShadowWindowHint;
}

void prepare(QWidget* window) {
  window->setAttribute(Qt::WA_ShowWithoutActivating);
#ifdef VELQUOR_HAS_XCB
  xcb_connection_t* c = connection();
  if (!c) return;
  // WM_HINTS: flags InputHint, input False. Qt sets the same for WindowDoesNotAcceptFocus;
  // set here as well, so it holds whatever Qt does.
  const auto id = static_cast<xcb_window_t>(window->winId());
  const uint32_t hints[9] = {1u, 0u, 0u, 0u, 0u, 0u, 0u, 0u, 0u};
  xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, XCB_ATOM_WM_HINTS, XCB_ATOM_WM_HINTS, 32, 9, hints);
  xcb_flush(c);
#endif
}

void keepAbove(QWidget* window) {
  if (!window->isVisible()) return;
#ifdef VELQUOR_HAS_XCB
  xcb_connection_t* c = connection();
  if (c && !isTopmostMapped(c, static_cast<xcb_window_t>(window->winId()))) window->raise();
#else
  window->raise();
#endif
}

bool nativeEvent(QWidget*, const QByteArray&, void*, qintptr*) { return false; }

}  // namespace velquor::floatplatform

// Windows: the floating windows are topmost tool windows that are never activated
// (WS_EX_NOACTIVATE | WS_EX_TOPMOST); a click on them is taken without activation
// (WM_MOUSEACTIVATE answered MA_NOACTIVATE), and they are put back on top of the topmost
// band when a full-screen slide show has come above them.
#include "app/floatingcall_platform.h"

#include <QWidget>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace velquor::floatplatform {

Qt::WindowFlags windowFlags() {
  return Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus |
         Qt::NoDropShadowWindowHint;
}

void prepare(QWidget* window) {
  window->setAttribute(Qt::WA_ShowWithoutActivating);
#ifdef Q_OS_WIN
  const HWND hwnd = reinterpret_cast<HWND>(window->winId());
  const LONG_PTR style = GetWindowLongPtrW(hwnd, GWL_EXSTYLE);
  SetWindowLongPtrW(hwnd, GWL_EXSTYLE, style | WS_EX_NOACTIVATE | WS_EX_TOPMOST | WS_EX_TOOLWINDOW);
  SetWindowPos(hwnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_FRAMECHANGED);
#endif
}

void keepAbove(QWidget* window) {
  if (!window->isVisible()) return;
#ifdef Q_OS_WIN
  const HWND hwnd = reinterpret_cast<HWND>(window->winId());
  // A full-screen show that has made itself topmost later stands above; the window goes back
  // to the top of the topmost band, without being activated.
  SetWindowPos(hwnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
#else
  window->raise();
#endif
}

bool nativeEvent(QWidget*, const QByteArray& eventType, void* message, qintptr* result) {
#ifdef Q_OS_WIN
  if (eventType != "windows_generic_MSG") return false;
  const MSG* msg = static_cast<const MSG*>(message);
  if (msg->message == WM_MOUSEACTIVATE) {
    *result = MA_NOACTIVATE;
    return true;
  }
#else
  (void)eventType;
  (void)message;
  (void)result;
#endif
  return false;
}

}  // namespace velquor::floatplatform

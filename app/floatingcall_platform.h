// What each platform needs so the floating call button floats above every window, full-screen
// slide shows included, and never takes the keyboard focus or the activation. One file per
// platform: floatingcall_x11.cpp, floatingcall_win.cpp.
#pragma once

#include <QByteArray>
#include <Qt>

class QWidget;

namespace velquor::floatplatform {

// The window flags of the button and of the bubble.
Qt::WindowFlags windowFlags();
// Once the native window exists, before it is shown.
void prepare(QWidget* window);
// Raises the window above every other again when another has come above it (a slide show
// going full screen); cheap enough to be called a few times a second.
void keepAbove(QWidget* window);
// A native message for the window; true when it is handled here, with `*result` set.
bool nativeEvent(QWidget* window, const QByteArray& eventType, void* message, qintptr* result);

}  // namespace velquor::floatplatform

#include "app/keycontrol.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QFocusEvent>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QWidget>

namespace velquor {

ClassroomKey classroomKey(int key, Qt::KeyboardModifiers modifiers) {
  // Clickers send plain keys; with Ctrl, Alt or Shift a key is a shortcut or a character.
  if ((modifiers & ~Qt::KeypadModifier) != Qt::NoModifier) return ClassroomKey::None;
  switch (key) {
    case Qt::Key_Space:
    case Qt::Key_PageDown:
    case Qt::Key_Right:
    case Qt::Key_Down:
    case Qt::Key_Return:
    case Qt::Key_Enter:
      return ClassroomKey::Call;
    case Qt::Key_PageUp:
    case Qt::Key_Left:
    case Qt::Key_Up:
      return ClassroomKey::TakeBack;
    case Qt::Key_B:
    case Qt::Key_Period:
      return ClassroomKey::Presentation;
    case Qt::Key_T:
      return ClassroomKey::Timer;
    case Qt::Key_F5:
      return ClassroomKey::FullScreen;
    case Qt::Key_Escape:
      return ClassroomKey::LeaveFullScreen;
    case Qt::Key_F:
      return ClassroomKey::Floating;
    default:
      return ClassroomKey::None;
  }
}

bool takesTyping(const QWidget* widget) {
  if (!widget) return false;
  if (qobject_cast<const QLineEdit*>(widget) || qobject_cast<const QTextEdit*>(widget) ||
      qobject_cast<const QPlainTextEdit*>(widget) || qobject_cast<const QAbstractSpinBox*>(widget))
    return true;
  // A list being edited has the focus in its editor, a line edit.
  if (const auto* combo = qobject_cast<const QComboBox*>(widget)) return combo->isEditable();
  return false;
}

ClickerKeys::ClickerKeys(QWidget* window, std::map<ClassroomKey, std::function<void()>> actions)
    : QObject(window), window_(window), actions_(std::move(actions)) {
  qApp->installEventFilter(this);
}

bool ClickerKeys::eventFilter(QObject* watched, QEvent* event) {
  // The style sees the focus events of the widgets it draws; only the widgets' own count.
  if (event->type() == QEvent::FocusIn && watched->isWidgetType()) {
    const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
    tabbedTo_ = reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason ? watched : nullptr;
    return false;
  }
  if (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride) return false;
  auto* widget = qobject_cast<QWidget*>(watched);
  // Only keys for this window itself: a message box, a menu or an open list is left alone.
  if (!widget || widget->window() != window_ || !window_->isVisible()) return false;
  auto* key = static_cast<QKeyEvent*>(event);
  const ClassroomKey meaning = classroomKey(key->key(), key->modifiers());
  const auto action = actions_.find(meaning);
  if (action == actions_.end()) return false;
  // Esc means nothing to a text box, so it leaves full screen from anywhere.
  if (meaning != ClassroomKey::LeaveFullScreen && (takesTyping(QApplication::focusWidget()) || takesTyping(widget)))
    return false;
  const bool pressKey = key->key() == Qt::Key_Space || key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
  if (pressKey && watched == tabbedTo_ && qobject_cast<QAbstractButton*>(widget)) return false;
  if (event->type() == QEvent::ShortcutOverride) {
    // The key is ours: no shortcut of the same key may take it first.
    event->accept();
    return true;
  }
  // A held key repeats; a clicker's button press is one action.
  if (!key->isAutoRepeat()) action->second();
  return true;
}

}  // namespace velquor

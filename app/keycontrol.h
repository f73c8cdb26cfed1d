// Presentation clickers and the keyboard: keys a clicker sends act on the window unless a
// text box or an editable list has the focus, where keys keep their usual meaning.
#pragma once

#include <QObject>
#include <functional>
#include <map>

class QKeyEvent;
class QWidget;

namespace velquor {

enum class ClassroomKey {
  None,
  Call,          // Space, Page Down, Right, Down, Enter: a click on the name label
  TakeBack,      // Page Up, Left, Up: take back the last call
  Presentation,  // B, ".": only the name label and the clock, or everything again
  Timer,         // T: start or stop the class timer
  FullScreen,    // F5 (a clicker's "start the show"): full screen
  LeaveFullScreen,  // Esc
  Floating,      // F: the floating call button instead of the window
};

// What a key press means on the classroom screen (without regard to the focus).
ClassroomKey classroomKey(int key, Qt::KeyboardModifiers modifiers);

// A widget where typing keeps its usual meaning: a text box or an editable list.
bool takesTyping(const QWidget* widget);

// Watches the key presses meant for one window and runs the action of each classroom key.
// A button reached with Tab keeps Space and Enter, so the window can still be worked from
// the keyboard alone (as with a screen reader); clickers send no Tab.
class ClickerKeys : public QObject {
 public:
  ClickerKeys(QWidget* window, std::map<ClassroomKey, std::function<void()>> actions);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWidget* window_;
  QObject* tabbedTo_ = nullptr;  // the control last reached with Tab, while it has the focus
  std::map<ClassroomKey, std::function<void()>> actions_;
};

}  // namespace velquor

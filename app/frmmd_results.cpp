// Results: score entry, value boxes, writing groups and marks.
#include <QComboBox>
#include <QCompleter>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <functional>

#include "frmmd.h"
#include "valuebox.h"
#include "widgets.h"

namespace velquor {
namespace {

// Watches one value box: typed characters go through the key filter, and a real loss of
// the focus tidies the text. An editable combo box takes the focus and the keys itself
// and hands them to its line edit, so both are watched.
class ValueBoxWatcher : public QObject {
 public:
  ValueBoxWatcher(QObject* parent, std::function<bool(char32_t)> keyPress, std::function<void()> lostFocus)
      : QObject(parent), keyPress_(std::move(keyPress)), lostFocus_(std::move(lostFocus)) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::KeyPress) return !takesKey(static_cast<QKeyEvent*>(event));
    // A message box or the box's own list opening is not leaving the box.
    if (isFocusLossToControl(event)) lostFocus_();
    return QObject::eventFilter(watched, event);
  }

 private:
  // Only typed characters are filtered. Keys without a printable character (arrows,
  // Tab, Enter, Delete, Backspace) and shortcuts such as Ctrl+C keep their usual effect.
  bool takesKey(const QKeyEvent* key) const {
    if (key->modifiers() & (Qt::ControlModifier | Qt::MetaModifier)) return true;
    for (const char32_t c : key->text().toUcs4()) {
      if (QChar::isPrint(c) && !keyPress_(c)) return false;
    }
    return true;
  }

  std::function<bool(char32_t)> keyPress_;
  std::function<void()> lostFocus_;
};

}  // namespace

void FrmMd::connectResults() {
  for (int i = 0; i < 2; ++i) {
    QComboBox* box = Combo1[i];
    // The box holds exactly what is typed: no completion from its list ("-" would become
    // "-1"), and no input-method text, which would bypass the key filter.
    box->setCompleter(nullptr);
    box->setAttribute(Qt::WA_InputMethodEnabled, false);
    box->lineEdit()->setAttribute(Qt::WA_InputMethodEnabled, false);
    auto* watcher = new ValueBoxWatcher(
        box, [this, i](char32_t typed) { return onCombo1KeyPress(i, typed); }, [this, i] { onCombo1LostFocus(i); });
    box->installEventFilter(watcher);
    box->lineEdit()->installEventFilter(watcher);
  }
  for (int i = 0; i < 4; ++i) {
    connect(Command1[i], &QPushButton::clicked, this, [this, i] { onCommand1Click(i); });
  }
}

bool FrmMd::onCombo1KeyPress(int /*index*/, char32_t typed) {
  return results::acceptsTypedCharacter(typed);
}

void FrmMd::onCombo1LostFocus(int index) {
  QComboBox* box = Combo1[index];
  const QString text = QString::fromStdString(results::normalisedText(box->currentText().toStdString()));
  if (box->currentText() != text) box->setEditText(text);
}

void FrmMd::onCommand1Click(int index) {
  if (index < 0 || index > 3) return;
  QComboBox* box = Combo1[index < 2 ? 0 : 1];
  const bool up = index % 2 == 0;
  box->setEditText(QString::fromStdString(results::steppedText(box->currentText().toStdString(), up)));
}

}  // namespace velquor

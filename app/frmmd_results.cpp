// Results: score entry, value boxes, writing groups and marks.
#include <QComboBox>
#include <QCompleter>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <functional>
#include <stdexcept>

#include "app/frmmd.h"
#include "roster/classsheet.h"
#include "results/marks.h"
#include "results/pending.h"
#include "app/pendingwrites.h"
#include "core/numtext.h"
#include "rollcall/picksteps.h"
#include "app/playwave.h"
#include "app/rostersave.h"
#include "results/valuebox.h"
#include "results/writefailure.h"
#include "roster/workbookset.h"
#include "app/widgets.h"

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
  connect(CmbXm, &QComboBox::activated, this, [this] {
    if (codeChange_ == 0) onCmbXmClick();
  });
  for (int i = 0; i < 2; ++i) connect(CmdXie[i], &QPushButton::clicked, this, [this, i] { onCmdXieClick(i); });
}

// ---- Choosing the student ------------------------------------------------------------------

void FrmMd::onCmbXmClick() {
  const QString entry = CmbXm->currentText().trimmed();
  if (entry.isEmpty()) return;
  // The entry is "number_name"; the number may be text when the roster holds text there.
  const auto number = toInteger(leadingNumber(entry.section(QLatin1Char('_'), 0, 0).toStdString()));
  currentNumber = number.value_or(0);
  if (const auto pos = rollcall::randomPosition(services_.random->next(), pickPoolCount)) pickPos = *pos;
  // The entry's place in the list is the student's place in the class, so the student
  // shown is the one chosen even when numbers repeat or are not numbers.
  if (const auto seat = groupTable.locate(CmbXm->currentIndex() + 1)) {
    setListIndex(List2, seat->group - 1, &FrmMd::onList2Click);
    setListIndex(List1, seat->slot - 1, &FrmMd::onList1Click);
  }
  // The removal enables "写成绩"; it does not when no class is loaded.
  dropFromNamePool();
}

// ---- Writing groups and marks --------------------------------------------------------------

void FrmMd::onCmdXieClick(int index) {
  if (index != 0 && index != 1) return;
  const QString notSaved = index == 0 ? QStringLiteral("分组没有保存。") : QStringLiteral("成绩没有保存。");
  auto refuse = [&](const QString& why) {
    services_.dialogs->message(this, why + notSaved, QStringLiteral("警告"), MessageIcon::Critical);
  };
  const auto* students = std::get_if<rollcall::NameTable>(&studentTable);
  if (!students || studentCount < 1 || static_cast<int>(students->size()) <= studentCount) {
    refuse(QStringLiteral("没有载入班级名单，"));
    return;
  }
  // Writes still waiting go first, so a group column waiting is not written over a newer one.
  if (pendingWrites) pendingWrites->retry();
  roster::Workbook* book = nullptr;
  bool saving = false;
  // A write that does not happen leaves the file as it was and drops the workbook with
  // any edit made in memory, so a second try starts from the file.
  auto giveUp = [&](const QString& why) {
    if (book && rosterApp) rosterApp->close(book);
    rosterBook = nullptr;
    refuse(why);
  };
  try {
    book = &openRosterBook(classRosterPath_);  // the class's own roster, though another was chosen since
    book->activate(classSheetNo);
    classSheet = book->activeSheet();
    const roster::WorkbookCells cells(*book, classSheet);
    // The class on disk must still be the class on screen: the teacher may have edited
    // the roster elsewhere since it was loaded.
    // A changed class waits like a held roster, and is placed by number and name.
    if (!sameClassOnDisk(cells)) throw roster::WorkbookError("the class changed on disk", roster::ErrorKind::ChangedOnDisk);
    if (index == 0) {
      for (int i = 1; i <= studentCount; ++i) {
        const auto group = (*students)[static_cast<std::size_t>(i)].group.toInteger();
        if (!group) throw std::runtime_error("a student without a group");  // never a partial column
        book->setInteger(classSheet, i + 2, roster::kGroupColumn, static_cast<std::int16_t>(*group));
      }
    } else {
      if (todayColumn == 0) todayColumn = roster::findTodayColumn(cells, todayText.toStdString());
      const auto row = results::markRow(currentNumber, studentCount, cells.value(currentNumber + 2, roster::kNumberColumn));
      if (!row) {
        giveUp(QStringLiteral("当前学生的学号与名单中的行对不上，"));
        return;
      }
      const auto mark = results::markAfterScore(cells.value(*row, todayColumn), Combo1[0]->currentText().toStdString());
      if (!mark) {
        giveUp(QStringLiteral("分数超出范围（-32768～32767），"));
        return;
      }
      if (results::headingNeedsWriting(book->cellMonthDay(classSheet, roster::kHeadingRow, todayColumn),
                                       todayText.toStdString()))
        book->setText(classSheet, roster::kHeadingRow, todayColumn, todayText.toStdString());
      book->setInteger(classSheet, *row, todayColumn, *mark);
    }
    saving = true;
    saveRoster(*book, *services_.dialogs, this, pendingWrites ? &pendingWrites->declinedLocks() : nullptr);
  } catch (const std::exception& failure) {
    // A save that replaced the file and failed only afterwards (flushing the folder) has
    // stored the write: reporting it as lost would invite the teacher to add it twice.
    if (!(saving && !book->modified())) {
      // Held, read-only, changed or out of reach: the write waits in the journal instead.
      if (!keepPendingWrite(index, failure)) {
        giveUp(QString::fromStdString(results::writeFailureCause(failure)));
        return;
      }
      if (book && rosterApp) rosterApp->close(book);
      rosterBook = nullptr;
    }
  }
  CmdXie[index]->setEnabled(false);
  PlayWave(services_.sound, QStringLiteral("sound/yes.wav"));
}

bool FrmMd::sameClassOnDisk(const roster::CellSource& cells) const {
  const auto* students = std::get_if<rollcall::NameTable>(&studentTable);
  if (!students) return false;
  for (int i = 1; i <= studentCount; ++i) {
    const auto& row = (*students)[static_cast<std::size_t>(i)];
    if (cells.value(i + 2, roster::kNumberColumn) != row.number || cells.value(i + 2, roster::kNameColumn) != row.name)
      return false;
  }
  return cells.value(studentCount + 3, roster::kNumberColumn).isBlank();
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

// The lesson day beside the roster: writes waiting for the roster to be free, the class
// table "查看名单", and students absent today. Everything of it is wired up here.
#include <QAction>
#include <QComboBox>
#include <QFileInfo>
#include <QFont>
#include <QGroupBox>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QStyle>
#include <QTimer>

#include "app/classtable.h"
#include "app/frmmd.h"
#include "app/pendingwrites.h"
#include "app/programdata.h"
#include "app/widgets.h"
#include "core/log.h"
#include "core/numtext.h"
#include "results/pending.h"
#include "rollcall/absence.h"
#include "roster/workbookset.h"
#include "core/filepath.h"

namespace velquor {

void FrmMd::connectClassDay() {
  lblDxr = new CaptionLabel(QString(), centralWidget());
  lblDxr->setObjectName(QStringLiteral("lblDxr"));
  setTwipsGeometry(lblDxr, 120, 9240, 9180, 285);
  lblDxr->setStyleSheet(QStringLiteral("color: #c00000;"));
  lblDxr->setToolTip(QStringLiteral("点击查看待写入的成绩"));
  lblDxr->hide();
  const QString today = services_.clock->now().date().toString(Qt::ISODate);
  programData_ = std::make_unique<ProgramData>(dataFolderOf(services_), today);
  // Said once, when the window is up.
  if (!programData_->startMessage().isEmpty())
    QTimer::singleShot(0, this, [this] {
      services_.dialogs->message(this, programData_->startMessage(), QStringLiteral("警告"), MessageIcon::Critical);
    });
  pendingWrites = new PendingWrites(this, services_, lblDxr, *programData_);

  absences_ = std::make_unique<rollcall::AbsenceBook>(programData_->store(), today.toStdString());

  MnCkMd = MnFangShi->addAction(QStringLiteral("查看名单"));
  MnCkMd->setObjectName(QStringLiteral("MnCkMd"));
  connect(MnCkMd, &QAction::triggered, this, [this] { showClassTable(); });
  Image3 = new CaptionLabel(QString(), FrXls);
  Image3->setObjectName(QStringLiteral("Image3"));
  setTwipsGeometry(Image3, 4755, 1020, 195, 240);
  Image3->setPixmap(style()->standardIcon(QStyle::SP_FileDialogDetailedView).pixmap(13, 13));
  Image3->setToolTip(QStringLiteral("查看名单"));
  connect(Image3, &CaptionLabel::clicked, this, [this] { showClassTable(); });

  List1->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(List1, &QListWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    const QListWidgetItem* item = List1->itemAt(at);
    if (!item) return;
    const int student = memberStudent(List1->row(item));
    if (student < 1) return;
    QMenu menu(this);
    QAction* absent = menu.addAction(QStringLiteral("今日缺席"));
    absent->setCheckable(true);
    absent->setChecked(isAbsent(student));
    if (menu.exec(List1->viewport()->mapToGlobal(at)) == absent) toggleAbsent(student);
  });
}

// ---- Waiting writes ------------------------------------------------------------------------

bool FrmMd::keepPendingWrite(int index, const std::exception& failure) {
  const auto* error = dynamic_cast<const roster::WorkbookError*>(&failure);
  const auto* students = std::get_if<rollcall::NameTable>(&studentTable);
  if (!error || !pendingWrites || !students || !results::waitCauseOf(error->kind())) return false;
  results::PendingWrite write;
  write.roster = dayRoster_.toStdString();
  write.sheet = daySheet_.toStdString();
  write.date = todayText.toStdString();
  if (index == 1) {
    // The current student is the one whose number is its place in the list (as for a
    // write made at once).
    if (currentNumber < 1 || currentNumber > studentCount) return false;
    const auto& row = (*students)[static_cast<std::size_t>(currentNumber)];
    if (row.number.toInteger() != currentNumber) return false;
    write.number = row.number.toText();
    write.name = row.name.toText();
    write.score = Combo1[0]->currentText().toStdString();
  } else {
    write.kind = results::PendingKind::Groups;
    for (int i = 1; i <= studentCount; ++i) {
      const auto& row = (*students)[static_cast<std::size_t>(i)];
      const auto group = row.group.toInteger();
      if (!group) return false;
      write.groups.push_back({row.number.toText(), row.name.toText(), *group});
    }
  }
  return pendingWrites->keep(std::move(write), *error);
}

void FrmMd::noteLoadedClass(roster::ClassSheet& sheet) {
  dayRoster_ = QFileInfo(classRosterPath_).absoluteFilePath();
  daySheet_ = cmbXls->itemText(classSheetNo - 1);
  if (!pendingWrites) return;
  for (int i = 0; i < sheet.studentCount(); ++i) {
    const auto index = static_cast<std::size_t>(i);
    if (!pendingWrites->marksFor(dayRoster_, daySheet_, todayText, QString::fromStdString(sheet.numbers[index].toText()),
                                 QString::fromStdString(sheet.names[index].toText()))
             .empty())
      sheet.markedToday[index] = true;
  }
}

// ---- Absent today ------------------------------------------------------------------------

rollcall::AbsentStudent FrmMd::absentKey(int student) const {
  const auto* students = std::get_if<rollcall::NameTable>(&studentTable);
  if (!students || student < 1 || student >= static_cast<int>(students->size())) return {};
  const auto& row = (*students)[static_cast<std::size_t>(student)];
  return {dayRoster_.toStdString(), daySheet_.toStdString(), row.number.toText(), row.name.toText()};
}

bool FrmMd::isAbsent(int student) const {
  if (!absences_) return false;
  absences_->setDate(services_.clock->now().date().toString(Qt::ISODate).toStdString());
  const auto key = absentKey(student);
  return !key.roster.empty() && absences_->isAbsent(key);
}

int FrmMd::memberStudent(int list1Row) const {
  const auto& members = groupTable.members(currentGroup);
  if (list1Row < 0 || list1Row >= static_cast<int>(members.size())) return 0;
  return members[static_cast<std::size_t>(list1Row)].student;
}

void FrmMd::toggleAbsent(int student) {
  const auto key = absentKey(student);
  if (key.roster.empty()) return;
  const bool absent = !isAbsent(student);
  try {
    absences_->setAbsent(key, absent);
  } catch (const store::StoreError& e) {
    log::write("absences", e.what(), key.roster);
    services_.dialogs->message(this, QStringLiteral("无法保存缺席记录。"), QStringLiteral("警告"), MessageIcon::Critical);
    return;
  }
  auto* pool = std::get_if<rollcall::NamePool>(&pickPool);
  if (absent) {
    leaveOutAbsent();
  } else if (pool) {
    // Back in the day's pool, unless already there.
    bool there = false;
    for (int p = 1; p <= pickPoolCount; ++p)
      there = there || (*pool)[static_cast<std::size_t>(p)].student.toInteger() == student;
    if (!there) {
      if (static_cast<int>(pool->size()) <= pickPoolCount + 1) pool->resize(static_cast<std::size_t>(pickPoolCount) + 2);
      const auto* students = std::get_if<rollcall::NameTable>(&studentTable);
      (*pool)[static_cast<std::size_t>(++pickPoolCount)] = {Variant::fromNumber(student),
                                                            (*students)[static_cast<std::size_t>(student)].number,
                                                            Variant::fromNumber(student + 2)};
    }
  }
  showAbsentInList1();
}

void FrmMd::leaveOutAbsent() {
  auto* pool = std::get_if<rollcall::NamePool>(&pickPool);
  if (!pool) return;
  int kept = 0;
  for (int p = 1; p <= pickPoolCount && p < static_cast<int>(pool->size()); ++p) {
    const auto row = (*pool)[static_cast<std::size_t>(p)];
    if (!isAbsent(row.student.toInteger().value_or(0))) (*pool)[static_cast<std::size_t>(++kept)] = row;
  }
  for (int p = kept + 1; p <= pickPoolCount && p < static_cast<int>(pool->size()); ++p)
    (*pool)[static_cast<std::size_t>(p)] = {Variant::fromText({}), Variant::fromText({}), Variant::fromText({})};
  pickPoolCount = kept;
}

void FrmMd::showAbsentInList1() {
  for (int r = 0; r < List1->count(); ++r) {
    QListWidgetItem* item = List1->item(r);
    const bool absent = isAbsent(memberStudent(r));
    QFont font = item->font();
    font.setStrikeOut(absent);
    item->setFont(font);
    item->setForeground(absent ? QBrush(Qt::gray) : QBrush());
  }
}

int FrmMd::studentNamed(const QString& number, const QString& name) const {
  const auto* students = std::get_if<rollcall::NameTable>(&studentTable);
  for (int i = 1; students && i <= studentCount && i < static_cast<int>(students->size()); ++i) {
    const auto& row = (*students)[static_cast<std::size_t>(i)];
    if (QString::fromStdString(row.number.toText()) == number && QString::fromStdString(row.name.toText()) == name)
      return i;
  }
  return 0;
}

bool FrmMd::currentMemberAbsent() const { return isAbsent(memberStudent(List1->currentRow())); }

// ---- The class table ---------------------------------------------------------------------

void FrmMd::showClassTable() {
  if (!std::get_if<rollcall::NameTable>(&studentTable) || classSheetNo < 1) return;
  if (!classTable_) {
    classTable_ = new ClassTable(this, [this] {
      ClassTable::View v;
      v.rosterPath = dayRoster_;
      v.sheet = daySheet_;
      v.today = todayText;
      v.currentRow = currentNumber >= 1 && currentNumber <= studentCount ? currentNumber + 2 : 0;
      v.waiting = [this, roster = v.rosterPath, sheet = v.sheet](const QString& number, const QString& name) {
        const auto marks = pendingWrites->marksFor(roster, sheet, todayText, number, name);
        double sum = 0;
        for (const results::PendingWrite* w : marks) sum += leadingNumber(w->score);
        return marks.empty() ? QString()
                             : (sum >= 0 ? QStringLiteral("+") : QString()) + QString::fromStdString(plainDecimal(sum));
      };
      v.absent = [this](const QString& number, const QString& name) { return isAbsent(studentNamed(number, name)); };
      // Waiting writes and absences change only with the store; unmatched marks with a try.
      v.revision = QString::number(programData_->store().revision());
      for (const auto& w : pendingWrites->writes()) v.revision += w.unmatched ? u'?' : u',';
      v.toggleAbsent = [this](const QString& number, const QString& name) {
        if (const int student = studentNamed(number, name)) toggleAbsent(student);
      };
      return v;
    });
  }
  classTable_->refresh();
  classTable_->show();
  classTable_->raise();
}

// ---- The call history ------------------------------------------------------------------

std::int64_t FrmMd::storeCall() {
  store::Call call;
  call.time = services_.clock->now().toString(Qt::ISODate).left(19).toStdString();
  call.category = rollCategory;
  if (rollCategory == rollcall::kNameList) {
    const auto key = absentKey(memberStudent(List1->currentRow()));
    if (key.roster.empty()) return 0;  // nobody shown
    call.roster = key.roster;
    call.sheet = key.sheet;
    call.number = key.number;
    call.name = key.name;
  } else {
    // A number, or a seat as "row-column".
    call.number = rollCategory == rollcall::kNumber ? std::to_string(currentValue)
                                                    : std::to_string(currentGroup) + "-" + std::to_string(currentValue);
  }
  try {
    return programData_->store().recordCall(call);
  } catch (const store::StoreError& e) {
    // The call goes on; the history misses it.
    const QString said = programData_->refused(e, "call history");
    if (!said.isEmpty()) services_.dialogs->message(this, said, QStringLiteral("警告"), MessageIcon::Critical);
    return 0;
  }
}

void FrmMd::storeTakeBack(std::int64_t call) {
  if (call == 0) return;
  try {
    programData_->store().takeBackCall(call);
  } catch (const store::StoreError& e) {
    const QString said = programData_->refused(e, "call history");
    if (!said.isEmpty()) services_.dialogs->message(this, said, QStringLiteral("警告"), MessageIcon::Critical);
  }
}

}  // namespace velquor

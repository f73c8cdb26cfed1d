// The main window: every control of the working surface, the program state it owns,
// and the event handlers. Handlers stay thin; the rules live in the subsystem libraries.
// The handlers of each subsystem are defined in their own file (frmmd_*.cpp).
#pragma once

#include <QMainWindow>
#include <QString>
#include <array>
#include <memory>
#include <optional>
#include <vector>

#include "grouping/grouptable.h"
#include "rollcall/absence.h"
#include "rollcall/pool.h"
#include "app/services.h"

class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QListWidget;
class QMenu;
class QPushButton;
class QRadioButton;
class QTimer;

namespace velquor {
namespace roster {
class Workbook;
class WorkbookSet;
struct ClassSheet;
class CellSource;
}  // namespace roster

class CaptionLabel;
class ClassTable;
class PendingWrites;
class ProgramData;
class Classroom;
class FairPicks;

class FrmMd : public QMainWindow {
  Q_OBJECT

 public:
  explicit FrmMd(const Services& services, QWidget* parent = nullptr);
  ~FrmMd() override;

  // ---- Controls, named as in the window design ----------------------------------
  QGroupBox* FraFl = nullptr;
  QGroupBox* frSz = nullptr;
  QGroupBox* FrXls = nullptr;
  QGroupBox* fraXr = nullptr;
  QGroupBox* FrZr = nullptr;
  QGroupBox* fraJf = nullptr;
  QGroupBox* fraJs = nullptr;
  QGroupBox* frXx = nullptr;
  CaptionLabel* lblXm = nullptr;
  CaptionLabel* lblSj = nullptr;
  CaptionLabel* LabXx = nullptr;
  QTimer* Timer1 = nullptr;
  QTimer* timJs = nullptr;

  std::array<QRadioButton*, 3> OptFl{};

  CaptionLabel* LblVal1 = nullptr;
  CaptionLabel* LblVal2 = nullptr;
  CaptionLabel* Label4 = nullptr;
  std::array<QLineEdit*, 2> txtXh{};
  QComboBox* cmbXh = nullptr;

  std::array<CaptionLabel*, 3> Label3{};  // members 1 and 2 exist
  QLineEdit* txtFn = nullptr;
  CaptionLabel* Image1 = nullptr;
  QComboBox* cmbXls = nullptr;
  CaptionLabel* Image2 = nullptr;

  std::array<QRadioButton*, 2> OptDmFs{};
  QCheckBox* chkGd = nullptr;

  std::array<QRadioButton*, 2> OptFz{};
  std::array<QLineEdit*, 2> txtFz{};
  std::array<QPushButton*, 2> CmdFz{};
  std::array<QPushButton*, 2> CmdXie{};

  QComboBox* CmbXm = nullptr;
  QCheckBox* chkXx = nullptr;
  std::array<QComboBox*, 2> Combo1{};
  std::array<QPushButton*, 4> Command1{};

  QComboBox* cmbJsDw = nullptr;
  QComboBox* cmbJsFs = nullptr;
  QPushButton* CmdJs = nullptr;

  std::array<CaptionLabel*, 1> Label1{};
  CaptionLabel* LabCz = nullptr;
  std::array<QPushButton*, 2> cmdNext{};
  QListWidget* List2 = nullptr;
  QListWidget* List1 = nullptr;

  // ---- Menus ------------------------------------------------------------------------
  QMenu* MnFenLei = nullptr;
  QMenu* MnFangShi = nullptr;
  QMenu* MnMingdanshizhi = nullptr;
  QMenu* MnXianshi = nullptr;
  QMenu* MnJishi = nullptr;
  QMenu* MnGuanYu = nullptr;
  std::array<QAction*, 3> MnFl{};
  std::array<QAction*, 3> MnFs{};
  std::array<QAction*, 4> MnSz{};  // MnSz(1) opens the class submenu
  QMenu* classMenu = nullptr;      // the submenu behind MnSz(1)
  std::vector<QAction*> MnBj;      // one entry per class, grown and shrunk at run time
  std::array<QAction*, 3> MnXs{};
  std::array<QAction*, 3> MnJs{};
  std::array<QAction*, 1> MnBz{};
  // The classroom screen's entries: 放大, 缩小, 全屏 under 显示方式, the design size
  // (Ctrl+0, no entry of its own) and 撤销上次点名 under 点名方式.
  QAction* MnFd = nullptr;
  QAction* MnSx = nullptr;
  QAction* MnQp = nullptr;
  QAction* MnYs = nullptr;
  QAction* MnCx = nullptr;

  // ---- Start-up -----------------------------------------------------------------------
  int firstActivationPending = 0;
  void formActivate();  // runs on every activation of the window
  void onMnBzClick(int index);

  // ---- Event chain: a value set from code runs the control's click handler ----------
  // Selects an option button; runs `handler` when it was not selected before.
  void selectOption(QRadioButton* button, void (FrmMd::*handler)(int), int index);
  // Sets a check box; runs `handler` when the value changes.
  void setCheck(QCheckBox* box, bool checked, void (FrmMd::*handler)());
  // Sets a list's or a combo box's selected entry and runs `handler`.
  void setListIndex(QListWidget* list, int index, void (FrmMd::*handler)());
  void setComboIndex(QComboBox* combo, int index, void (FrmMd::*handler)());

  // ---- Roll call: categories, pick engine, ranges -----------------------------------
  int rollCategory = 0;  // rollcall::kNameList, kNumber or kSeat
  // The class table and the candidate pool: a loaded class (name-list form) or an
  // accepted range (number/seat form). Row or entry 0 is never a candidate; the live
  // candidates are 1..pickPoolCount.
  rollcall::StudentTable studentTable;
  int studentCount = 0;
  rollcall::PickPool pickPool;
  int pickPoolCount = 0;
  int pickPos = 0;       // pool position of the last random pick; every removal takes it out
  int currentValue = 0;  // the number, or the seat's column, shown last
  int rangeLow = 0;      // lowest number, or the row count
  int rangeHigh = 0;     // highest number, or the column count
  // The class loader hands a loaded class over here: the students in rows 1..n and the
  // day's candidates in rows 1..livePoolCount (the name-list form).
  void installNameList(rollcall::NameTable students, rollcall::NamePool pool, int livePoolCount);
  void onOptFlClick(int index);
  void onMnFlClick(int index);
  void switchCategory(int category);
  // The name label's caption at the start of a category's day.
  static QString categoryCaption(int category);
  void onLblXmClick();  // the pick button
  void pickStep();
  void dropFromNamePool();
  void dropFromRangePool();
  void onTimer1Tick();
  void onCmdNextClick(int index);
  void onList1MouseUp();
  void onOptDmFsClick(int index);
  void onMnFsClick(int index);
  void onChkGdClick();
  void onCmbXhClick();
  void onTxtXhLostFocus(int index);  // the range acceptance for box `index`

 private:
  void pickStudent(bool random);
  void removeCalledCandidate();
  bool refocusingRangeBox_ = false;  // the refusal's own focus move is not a focus loss to check

 public:
  // ---- Display modes ------------------------------------------------------------------
  void onMnXsClick(int index);
  void onChkXxClick();

  // ---- Roster: file, classes, class loading ------------------------------------------
  // The open roster workbooks (created on the first roster operation), the workbook in
  // use and the loaded class's sheet position.
  std::unique_ptr<roster::WorkbookSet> rosterApp;
  roster::Workbook* rosterBook = nullptr;
  QString rosterPath;
  QString rosterFileName;
  QString todayText;
  int classSheetNo = 0;
  int classSheet = 0;
  int todayColumn = 0;
  // The default roster (点名册.xls, else 点名册.xlsx) in the program's folder, else in the
  // documents folder.
  QString defaultRosterPath() const;
  // With no roster anywhere, an installed program offers its sample roster at the default
  // place; true when the teacher took it and it was written there.
  bool offerSampleRoster();
  void listClasses();  // lists the roster's classes and loads the first
  bool loadClass();    // loads the class selected in cmbXls; false when it could not
  void onImage1Click();  // the file dialog, then the class list
  void onImage2Click();  // shows the roster in the desktop's spreadsheet program
  void onCmbXlsClick();
  void onMnBjClick(int index);

 private:
  // The roster workbook at `path`, by default the one chosen (rosterPath).
  roster::Workbook& openRosterBook(const QString& path = QString());
  void closeRosterBook();
  void installClass(const roster::ClassSheet& sheet);
  void releaseRoster();
  QString classRosterPath_;  // the roster file the loaded class was read from

 public:

  // ---- Grouping -------------------------------------------------------------------------
  grouping::GroupTable groupTable;
  int groupCount = 0;
  int groupSize = 0;
  int currentGroup = 0;   // the group shown; in the seat category the row shown last
  // The number of the current student; 0 when the current student's number is not a
  // whole 16-bit number, so it never names another student.
  int currentNumber = 0;
  void onList2Click();    // group selection
  void onList1Click();    // member selection
  void onOptFzClick(int index);
  void onTxtFzConfirm();  // Enter or focus loss in either rule box
  void onCmdFzClick(int index);
  // Forms the groups by the current rule (random or in list order) and shows group 1;
  // false when the class cannot be grouped, leaving everything as it was.
  bool formGroupsNow(bool random);

 private:
  int list1Group_ = 0;  // the group whose members List1 holds; 0 when it must be refilled
  bool refocusingRuleBox_ = false;  // the refusal's own focus move is not a confirmation

 public:

  // ---- Results --------------------------------------------------------------------------
  // The value boxes Combo1(0) (score) and Combo1(1) (timer amount) and their steppers.
  // A character typed into a box; false when the box does not take it (it is discarded).
  bool onCombo1KeyPress(int index, char32_t typed);
  void onCombo1LostFocus(int index);
  void onCommand1Click(int index);
  void onCmbXmClick();          // choose the current student
  void onCmdXieClick(int index);  // 0 writes the groups, 1 the current student's mark

 private:
  // The loaded class still stands in the sheet as it was read (numbers and names).
  bool sameClassOnDisk(const roster::CellSource& cells) const;

 public:

  // ---- The lesson day: waiting writes, the class table, absences (frmmd_classday.cpp) --
  PendingWrites* pendingWrites = nullptr;
  CaptionLabel* lblDxr = nullptr;  // the line naming the writes that wait for the roster
  QAction* MnCkMd = nullptr;       // "查看名单" in the 点名方式 menu
  CaptionLabel* Image3 = nullptr;  // "查看名单" beside Image2
  void showClassTable();
  ClassTable* classTable() const { return classTable_; }
  // Marks or clears the student (class position) as absent today.
  void toggleAbsent(int student);
  bool isAbsent(int student) const;
  int memberStudent(int list1Row) const;  // the class position of a List1 row of the group shown

 private:
  void connectClassDay();
  // A write that failed for a reason worth waiting out is kept; false when it is not.
  bool keepPendingWrite(int index, const std::exception& failure);
  // Remembers which roster and sheet the class being loaded comes from, and counts the
  // marks still waiting for its students as today's.
  void noteLoadedClass(roster::ClassSheet& sheet);
  QString dayRoster_;  // the loaded class's roster file (absolute) and sheet name
  QString daySheet_;
  void leaveOutAbsent();  // takes today's absent students out of the pool
  void showAbsentInList1();
  bool currentMemberAbsent() const;
  int studentNamed(const QString& number, const QString& name) const;
  rollcall::AbsentStudent absentKey(int student) const;
  std::unique_ptr<rollcall::AbsenceBook> absences_;
  ClassTable* classTable_ = nullptr;
  // The program's own data (waiting writes, absences, the call history) and its log.
  std::unique_ptr<ProgramData> programData_;
  // The call history: the call about to be made is stored (its id, 0 when it could not be),
  // and a call taken back is marked so.
  std::int64_t storeCall();
  void storeTakeBack(std::int64_t call);

 public:
  // ---- Class timer ----------------------------------------------------------------------
  QTime timerTarget{0, 0, 0};  // the set duration, as a time of day (below 24 hours)
  QDateTime timerStart;        // date and time of the last start, whole seconds
  qint64 timerStartMs = 0;     // the monotonic clock's reading at the last start
  void onCmdJsClick();         // start or stop; the caption of CmdJs is the run state
  void onLblSjClick();
  void onTimJsTick();
  void onMnJsClick(int index);

 protected:
  bool event(QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void buildControls();
  void buildMenus();
  void loadWindow();
  // The classroom screen (scaling, full screen, clicker keys, taking back a call,
  // remembered settings, screen readers), wired in one place: frmmd_classroom.cpp.
  friend class Classroom;
  friend void openGivenRoster(FrmMd& window, const QString& path);
  void installClassroom();
  void noteCall(bool namePool);  // a call is about to take its candidate out of the pool
  void noteDayStart();           // the pool was built afresh
  Classroom* classroom_ = nullptr;
  double classroomScale() const;  // the layout's scale factor
  // Fair picks ("少点过的优先", "点名统计…"), wired in one place: frmmd_fairpicks.cpp.
  friend class FairPicks;
  void installFairPicks();
  // The pool position of a least-called-first pick for the draw r; empty when the loaded
  // class does not use it (the design's position is drawn from the same r).
  std::optional<int> fairPosition(double r);
  FairPicks* fairPicks_ = nullptr;
  bool pickButtonCall_ = false;  // a call of the pick button is under way (it is read aloud)
  // Each subsystem connects its controls' events to its handlers.
  void connectShell();
  void connectRollcall();
  void connectDisplay();
  void connectRoster();
  void connectGrouping();
  void connectResults();
  void connectTimer();

  Services services_;
  int codeChange_ = 0;  // > 0 while code sets a control's value, so its signal is not a click
};

}  // namespace velquor

// Roster: choosing the file and the class, loading a class sheet.
#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>

#include "app/datafiles.h"
#include "app/frmmd.h"
#include "app/widgets.h"
#include "app/pendingwrites.h"
#include "core/log.h"
#include "results/writefailure.h"
#include "roster/workbookset.h"
#include "core/filepath.h"

namespace velquor {
namespace {

const QString kWarningTitle = QStringLiteral("警告");
// Both workbook formats; which one a file holds is read from its content.
const QString kRosterFilter = QStringLiteral("Excel文件|*.xls *.xlsx");

std::filesystem::path toPath(const QString& path) { return pathFromUtf8(path.toStdString()); }

DefaultRoster locateRoster(const Services& services) {
  const QString program =
      services.programFolder.isEmpty() ? QCoreApplication::applicationDirPath() : services.programFolder;
  const QString documents = services.documentsFolder.isEmpty() ? userDocumentsFolder() : services.documentsFolder;
  return locateDefaultRoster(program, documents);
}

}  // namespace

void FrmMd::connectRoster() {
  connect(Image1, &CaptionLabel::clicked, this, [this] { onImage1Click(); });
  connect(Image2, &CaptionLabel::clicked, this, [this] { onImage2Click(); });
  connect(MnSz[0], &QAction::triggered, this, [this] { onImage1Click(); });
  connect(cmbXls, qOverload<int>(&QComboBox::activated), this, [this] {
    if (codeChange_ == 0) onCmbXlsClick();
  });
  connect(MnBj[0], &QAction::triggered, this, [this] { onMnBjClick(0); });
}

QString FrmMd::defaultRosterPath() const { return locateRoster(services_).path; }

bool FrmMd::offerSampleRoster() {
  const DefaultRoster roster = locateRoster(services_);
  if (roster.exists || !roster.offerSample) return false;
  const QString folder = QDir::toNativeSeparators(QFileInfo(roster.path).absolutePath());
  if (!services_.dialogs->ask(this,
                              QStringLiteral("还没有点名册。要把示例点名册“%1”放到文件夹“%2”中并打开吗？\n"
                                             "示例点名册可以在电子表格软件中改成自己班级的名单。\n"
                                             "选“否”可以自己选择点名册文件。")
                                  .arg(QFileInfo(roster.path).fileName(), folder),
                              applicationTitle(), true))
    return false;
  if (copySampleRoster(roster.path)) return true;
  services_.dialogs->message(this, QStringLiteral("无法在文件夹“%1”中写入示例点名册，请自己选择点名册文件。").arg(folder),
                             kWarningTitle, MessageIcon::Critical);
  return false;
}

void FrmMd::onImage1Click() {
  // An empty answer is met with a reminder and the dialog once more; a second empty
  // answer leaves the roster as it was, so a teacher without a roster file at hand is
  // never held in the dialog.
  QString chosen = services_.dialogs->openFileName(this, kRosterFilter);
  if (chosen.isEmpty()) {
    services_.dialogs->message(this, QStringLiteral("请选择文件名"), applicationTitle(),
                               MessageIcon::None);
    chosen = services_.dialogs->openFileName(this, kRosterFilter);
    if (chosen.isEmpty()) return;
  }
  rosterPath = chosen;
  txtFn->setText(chosen);
  rosterFileName = QFileInfo(chosen).fileName();
  listClasses();
}

roster::Workbook& FrmMd::openRosterBook(const QString& path) {
  if (!rosterApp) rosterApp = std::make_unique<roster::WorkbookSet>();
  bool alreadyOpen = false;
  roster::Workbook& book = rosterApp->get(toPath(path.isEmpty() ? rosterPath : path), alreadyOpen);
  rosterBook = &book;
  // The warning is about another program holding the roster; a roster that merely
  // cannot be written (a read-only folder) is reported when a write fails.
  const QFileInfo file(QString::fromStdString(utf8FromPath(book.path())));
  const bool writable = file.isWritable() && QFileInfo(file.absolutePath()).isWritable();
  if (alreadyOpen && book.readOnly() && writable) {
    services_.dialogs->message(this, QStringLiteral("请检查Excel名单是否已经被打开，请关闭"), kWarningTitle,
                               MessageIcon::Critical);
  }
  return book;
}

void FrmMd::closeRosterBook() {
  if (rosterBook && rosterApp) rosterApp->close(rosterBook);
  rosterBook = nullptr;
}

void FrmMd::listClasses() {
  if (pendingWrites) pendingWrites->retry();  // writes waiting for this roster go in first
  int n = 0;
  try {
    roster::Workbook& book = openRosterBook();
    n = book.sheetCount();
    if (n < 1) {
      services_.dialogs->message(this, QStringLiteral("找不到工作表，请检查"), kWarningTitle, MessageIcon::Critical);
      return;
    }
    ++codeChange_;
    cmbXls->clear();
    --codeChange_;
    for (int i = 1; i <= n; ++i) {
      const QString name = QString::fromStdString(book.sheetName(i));
      if (static_cast<int>(MnBj.size()) < i) {
        QAction* item = classMenu->addAction(name);
        item->setObjectName(QStringLiteral("MnBj(%1)").arg(i - 1));
        connect(item, &QAction::triggered, this, [this, i] { onMnBjClick(i - 1); });
        MnBj.push_back(item);
      }
      MnBj[static_cast<std::size_t>(i - 1)]->setText(name);
      ++codeChange_;
      cmbXls->addItem(name);
      --codeChange_;
    }
  } catch (const std::exception& e) {
    log::write("listing the classes", e.what(), rosterPath.toStdString());
    services_.dialogs->message(this, QStringLiteral("请打开并检查Excel文档是否损坏。"), kWarningTitle,
                               MessageIcon::Critical);
    return;
  }
  // The class menu holds exactly one entry per class.
  while (static_cast<int>(MnBj.size()) > n) {
    delete MnBj.back();
    MnBj.pop_back();
  }
  setComboIndex(cmbXls, 0, &FrmMd::onCmbXlsClick);
  Image2->setVisible(true);
}

void FrmMd::onCmbXlsClick() { loadClass(); }

void FrmMd::onMnBjClick(int index) { setComboIndex(cmbXls, index, &FrmMd::onCmbXlsClick); }

void FrmMd::onImage2Click() {
  try {
    roster::Workbook& book = openRosterBook();
    services_.dialogs->openDocument(QString::fromStdString(utf8FromPath(book.path())));
  } catch (const std::exception& e) {
    // Nothing to show: browsing reports no failure.
    log::write("showing the roster", e.what(), rosterPath.toStdString());
  }
}

bool FrmMd::loadClass() {
  int k = cmbXls->currentIndex();
  if (k < 0 && cmbXls->count() == 0) return false;
  if (k < 0) k = 0;
  // A sheet that cannot be loaded leaves the loaded class whole (its count, sheet, lists,
  // groups, pool and buttons), and the class list shows that class again. The next roster
  // operation reads the file again.
  auto keepLoadedClass = [this] {
    closeRosterBook();
    if (classRosterPath_ == rosterPath && classSheetNo >= 1 && classSheetNo <= cmbXls->count()) {
      ++codeChange_;
      cmbXls->setCurrentIndex(classSheetNo - 1);
      --codeChange_;
    }
  };
  const int sheetNo = k + 1;
  auto step = results::LoadStep::Open;
  try {
    roster::Workbook& book = openRosterBook();
    book.activate(sheetNo);
    const int sheet = book.activeSheet();
    const roster::WorkbookCells cells(book, sheet);
    step = results::LoadStep::Count;
    const int n = roster::countStudents(cells);
    if (n <= 1) {
      services_.dialogs->message(this, QStringLiteral("检测到名单表格为空，请检查"), kWarningTitle,
                                 MessageIcon::Critical);
      keepLoadedClass();
      return false;
    }
    step = results::LoadStep::TodayColumn;
    roster::ClassSheet read = roster::readClassSheet(cells, n, todayText.toStdString());
    classSheetNo = sheetNo;
    classSheet = sheet;
    classRosterPath_ = rosterPath;
    FrZr->setTitle(QString::number(n) + QStringLiteral("人分组规则"));
    noteLoadedClass(read);  // a mark still waiting counts as today's
    installClass(read);
    leaveOutAbsent();
    return true;
  } catch (const std::exception& e) {
    // The class is named with the cause, so the teacher knows which class is lost and why.
    log::write("loading a class", e.what(), rosterPath.toStdString());
    const QString text = QString::fromStdString(
        results::classLoadFailure(e, step, cmbXls->itemText(k).toStdString(), todayText.toStdString()));
    services_.dialogs->message(this, text, kWarningTitle, MessageIcon::Critical);
    keepLoadedClass();
    return false;
  }
}

void FrmMd::installClass(const roster::ClassSheet& sheet) {
  const int n = sheet.studentCount();
  todayColumn = sheet.todayColumn;
  rollcall::NameTable students(static_cast<std::size_t>(n) + 1);
  rollcall::NamePool pool(static_cast<std::size_t>(n) + 1);
  int live = 0;
  QStringList entries;
  entries.reserve(n);
  for (int i = 1; i <= n; ++i) {
    const auto index = static_cast<std::size_t>(i);
    const Variant& number = sheet.numbers[index - 1];
    const Variant& name = sheet.names[index - 1];
    students[index] = {number, name, Variant::fromNumber(i + 2)};
    entries.append(QString::fromStdString(number.toText() + "_" + name.toText()));
    // Students with a mark today wait until everybody else has been called.
    if (!sheet.markedToday[index - 1]) pool[static_cast<std::size_t>(++live)] = {Variant::fromNumber(i), number, Variant::fromNumber(i + 2)};
  }
  if (live == 0) {
    pool = rollcall::fullNamePool(students, n);
    live = n;
  }
  installNameList(std::move(students), std::move(pool), live);
  // Nobody of the new class has been called yet: no mark may go to a student of the same
  // number in it.
  currentNumber = 0;
  ++codeChange_;
  CmbXm->clear();
  CmbXm->addItems(entries);
  CmbXm->setCurrentIndex(-1);  // nobody is chosen yet
  --codeChange_;

  // A fresh load is one group holding the whole class, in list order.
  selectOption(OptFz[0], &FrmMd::onOptFzClick, 0);
  groupCount = 1;
  groupSize = n;
  txtFz[0]->setText(QStringLiteral("1"));
  txtFz[1]->setText(QString::number(n));
  formGroupsNow(false);
  CmdFz[0]->setEnabled(false);
  CmdFz[1]->setEnabled(false);
  CmdXie[0]->setEnabled(false);
  CmdXie[1]->setEnabled(false);
}

void FrmMd::releaseRoster() {
  rosterBook = nullptr;
  rosterApp.reset();
}

}  // namespace velquor

// A Workbook is the file on disk and the one book its content holds: the .xls or the .xlsx book.
#include "roster/workbook.h"

#include "roster/cell/book.h"
#include "roster/cell/value.h"
#include "roster/file/diskfile.h"
#include "roster/xls/xlsbook.h"
#include "roster/xlsx/xlsx.h"

namespace velquor::roster {

using namespace detail;

struct Workbook::Impl {
  DiskFile file;  // the file on disk; detached for an image in memory
  std::unique_ptr<Book> book;
  int active = 1;
};

namespace {

// The content decides the format, whatever the file is called.
std::unique_ptr<Book> openBook(Bytes bytes) {
  if (looksLikeZip(bytes)) return openXlsx(std::move(bytes));
  if (!looksLikeCompoundFile(bytes))
    throw WorkbookError("The file is neither an Excel workbook (.xls) nor an Office Open XML workbook (.xlsx).",
                        ErrorKind::Damaged);
  return openXls(std::move(bytes));
}

}  // namespace

Workbook::Workbook(std::unique_ptr<Impl> impl) : d_(std::move(impl)) {}
Workbook::Workbook(Workbook&&) noexcept = default;
Workbook& Workbook::operator=(Workbook&&) noexcept = default;
Workbook::~Workbook() = default;

Workbook Workbook::open(const std::filesystem::path& path) { return open(path, systemFileOps()); }

Workbook Workbook::open(const std::filesystem::path& path, std::shared_ptr<FileOps> ops) {
  auto d = std::make_unique<Impl>();
  d->file = DiskFile(path, std::move(ops));
  d->book = openBook(d->file.load());
  return Workbook(std::move(d));
}

Workbook Workbook::fromBytes(std::vector<std::uint8_t> bytes) {
  auto d = std::make_unique<Impl>();
  d->book = openBook(std::move(bytes));
  return Workbook(std::move(d));
}

std::vector<std::uint8_t> Workbook::create(const std::vector<std::pair<std::string, SheetRows>>& sheets, int sectorShift) {
  return createXls(sheets, sectorShift);
}

bool Workbook::readOnly() const { return d_->file.readOnly(); }
std::string Workbook::holder() const { return d_->file.lock().describe(); }
FileLock Workbook::lock() const { return d_->file.lock(); }
bool Workbook::removeStaleLock(const FileLock& lock) { return d_->file.removeStaleLock(lock); }

std::string Workbook::fileName() const { return d_->file.path().filename().string(); }
std::filesystem::path Workbook::path() const { return d_->file.path(); }

int Workbook::sheetCount() const { return d_->book->sheetCount(); }
std::string Workbook::sheetName(int sheet) const { return d_->book->sheetName(sheet); }
bool Workbook::sheetHidden(int sheet) const { return d_->book->sheetHidden(sheet); }
bool Workbook::sheetReadable(int sheet) const { return d_->book->sheetReadable(sheet); }

void Workbook::activate(int sheet) {
  (void)d_->book->sheetName(sheet);  // throws for a sheet that does not exist
  d_->active = sheet;
}
int Workbook::activeSheet() const { return d_->active; }

int Workbook::lastRow(int sheet) const { return d_->book->lastRow(sheet); }
int Workbook::lastColumn(int sheet) const { return d_->book->lastColumn(sheet); }
Cell Workbook::cell(int sheet, int row, int col) const { return d_->book->cell(sheet, row, col); }
std::string Workbook::cellMonthDay(int sheet, int row, int col) const {
  return monthDayText(cell(sheet, row, col), d_->book->date1904());
}

void Workbook::setText(int sheet, int row, int col, const std::string& utf8) { d_->book->setText(sheet, row, col, utf8); }
void Workbook::setInteger(int sheet, int row, int col, std::int16_t value) {
  d_->book->setInteger(sheet, row, col, value);
}
bool Workbook::modified() const { return d_->book->modified(); }

std::vector<std::uint8_t> Workbook::serialize() const { return d_->book->serialize(); }

bool Workbook::changedOnDisk() const { return d_->file.changedOnDisk(); }

void Workbook::save() {
  Impl& d = *d_;
  if (!d.file.attached()) throw WorkbookError("This workbook has no file to save to.");
  if (!d.book->modified()) return;  // nothing to write: the file stays as it is
  // Once the new file is in place the workbook describes it, even when a later step fails.
  d.file.save(d.book->prepareSave(), [&] {
    if (auto fresh = d.book->saved(d.file.content())) d.book = std::move(fresh);
  });
}

}  // namespace velquor::roster

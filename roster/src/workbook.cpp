#include "roster/workbook.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "roster/src/impl.h"

extern char** environ;

namespace velquor::roster {

namespace detail {
void checkSheetLayout(const Workbook::Impl& wb, const Sheet& sh);
}

using namespace detail;

namespace {

// Days since 1970-01-01 of a civil date, and back (proleptic Gregorian calendar).
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void civilFromDays(std::int64_t z, int& y, unsigned& m, unsigned& d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2));
}

std::string monthDay(unsigned m, unsigned d) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02u月%02u", m, d);
  return buf;
}

// "2026-12-05", "2026/12/5", "2026.12.05", "2026年12月5日", "12月5日" read as dates.
bool parseDateText(const std::string& s, unsigned& m, unsigned& d) {
  std::vector<long> nums;
  std::vector<std::string> seps;
  std::size_t i = 0;
  while (i < s.size()) {
    if (std::isdigit(static_cast<unsigned char>(s[i]))) {
      long v = 0;
      std::size_t start = i;
      while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])) && i - start < 6) v = v * 10 + (s[i++] - '0');
      nums.push_back(v);
    } else {
      std::size_t start = i;
      while (i < s.size() && !std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
      seps.push_back(s.substr(start, i - start));
    }
  }
  if (!s.empty() && !std::isdigit(static_cast<unsigned char>(s[0]))) return false;
  auto valid = [&](long mm, long dd) {
    if (mm < 1 || mm > 12 || dd < 1 || dd > 31) return false;
    m = static_cast<unsigned>(mm);
    d = static_cast<unsigned>(dd);
    return true;
  };
  if (nums.size() == 3 && nums[0] >= 1000 && seps.size() >= 2) {
    const std::string& a = seps[0];
    if ((a == "-" || a == "/" || a == ".") && seps[1] == a && seps.size() == 2) return valid(nums[1], nums[2]);
    if (a == "年" && seps[1] == "月" && (seps.size() == 2 || (seps.size() == 3 && seps[2] == "日"))) return valid(nums[1], nums[2]);
  }
  if (nums.size() == 2 && !seps.empty() && seps[0] == "月" && seps.size() == 2 && seps[1] == "日") return valid(nums[0], nums[1]);
  return false;
}

}  // namespace

std::string Cell::toText() const {
  switch (kind) {
    case Kind::Empty: return "";
    case Kind::Text: return text;
    case Kind::Number: return formatNumber(number);
    case Kind::Boolean: return number != 0 ? "TRUE" : "FALSE";
    case Kind::Error: return text;
  }
  return "";
}

Workbook::Workbook(std::unique_ptr<Impl> impl) : d_(std::move(impl)) {}
Workbook::Workbook(Workbook&&) noexcept = default;
Workbook& Workbook::operator=(Workbook&&) noexcept = default;
Workbook::~Workbook() = default;

Workbook Workbook::open(const std::filesystem::path& path) { return open(path, systemFileOps()); }

Workbook Workbook::open(const std::filesystem::path& path, std::shared_ptr<FileOps> ops) {
  auto d = std::make_unique<Impl>();
  d->file = DiskFile(path, std::move(ops));
  d->load(d->file.load());
  return Workbook(std::move(d));
}

Workbook Workbook::fromBytes(std::vector<std::uint8_t> bytes) {
  auto d = std::make_unique<Impl>();
  d->load(std::move(bytes));
  return Workbook(std::move(d));
}

void Workbook::Impl::load(Bytes bytes) {
  // The content decides the format, whatever the file is called.
  if (looksLikeZip(bytes)) {
    xlsx = XlsxBook::parse(std::move(bytes));
    return;
  }
  if (bytes.size() < 8 || std::memcmp(bytes.data(), "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) != 0)
    throw WorkbookError("The file is neither an Excel workbook (.xls) nor an Office Open XML workbook (.xlsx).",
                        ErrorKind::Damaged);
  parse(std::move(bytes));
}

bool Workbook::readOnly() const { return d_->file.readOnly(); }
std::string Workbook::holder() const { return d_->file.lock().describe(); }
FileLock Workbook::lock() const { return d_->file.lock(); }
bool Workbook::removeStaleLock(const FileLock& lock) { return d_->file.removeStaleLock(lock); }

std::string Workbook::fileName() const { return d_->file.path().filename().string(); }
std::filesystem::path Workbook::path() const { return d_->file.path(); }
int Workbook::sheetCount() const {
  return d_->xlsx ? d_->xlsx->sheetCount() : static_cast<int>(d_->worksheets.size());
}
std::string Workbook::sheetName(int sheet) const {
  return d_->xlsx ? d_->xlsx->sheetName(sheet) : d_->worksheet(sheet).name;
}
bool Workbook::sheetHidden(int sheet) const {
  return d_->xlsx ? d_->xlsx->sheetHidden(sheet) : d_->worksheet(sheet).hidden;
}

void Workbook::activate(int sheet) {
  if (d_->xlsx) (void)d_->xlsx->sheetName(sheet);
  else (void)d_->worksheet(sheet);
  d_->active = sheet;
}
int Workbook::activeSheet() const { return d_->active; }

const Sheet& Workbook::Impl::worksheet(int position) const {
  if (position < 1 || position > static_cast<int>(worksheets.size()))
    throw WorkbookError("The workbook has no worksheet number " + std::to_string(position) + ".");
  return sheets[static_cast<std::size_t>(worksheets[static_cast<std::size_t>(position - 1)])];
}
const Sheet& Workbook::Impl::readableWorksheet(int position) const {
  const Sheet& s = worksheet(position);
  if (s.damaged)
    throw WorkbookError("The worksheet \"" + s.name + "\" is damaged and cannot be read.", ErrorKind::SheetUnreadable);
  return s;
}

void Workbook::Impl::checkWholeFile() const {
  if (wholeFileChecked) return;
  for (const Sheet& s : sheets)
    if (s.damaged)
      throw WorkbookError("Cannot write this workbook: its sheet \"" + s.name + "\" is damaged.", ErrorKind::SheetUnreadable);
  if (cfb && cfb->miniFatPointsOutside())
    throw WorkbookError("Cannot write this workbook: its table of small streams (mini FAT) points outside them; "
                        "other programs might no longer read it after a save.",
                        ErrorKind::CannotWrite);
  wholeFileChecked = true;
}

bool Workbook::sheetReadable(int sheet) const {
  if (d_->xlsx) return (void)d_->xlsx->sheetName(sheet), true;  // a damaged part refuses the whole file
  return !d_->worksheet(sheet).damaged;
}

Sheet& Workbook::Impl::worksheet(int position) {
  return const_cast<Sheet&>(static_cast<const Impl*>(this)->worksheet(position));
}

int Workbook::lastRow(int sheet) const {
  if (d_->xlsx) return d_->xlsx->lastRow(sheet);
  const Sheet& s = d_->readableWorksheet(sheet);
  int last = s.cells.empty() ? 0 : static_cast<int>(s.cells.back().key >> 8) + 1;
  if (!s.edits.empty()) last = std::max(last, static_cast<int>(s.edits.rbegin()->first >> 8) + 1);
  return last;
}

int Workbook::lastColumn(int sheet) const {
  if (d_->xlsx) return d_->xlsx->lastColumn(sheet);
  const Sheet& s = d_->readableWorksheet(sheet);
  int last = s.lastColumn;
  for (const auto& e : s.edits) last = std::max(last, static_cast<int>(e.first & 0xFF) + 1);
  return last;
}

Cell Workbook::cell(int sheet, int row, int col) const {
  if (d_->xlsx) return d_->xlsx->cell(sheet, row, col);
  const Sheet& s = d_->readableWorksheet(sheet);
  if (row < 1 || row > 65536 || col < 1 || col > 256) return Cell{};
  return d_->makeCell(s, (static_cast<std::uint32_t>(row - 1) << 8) | static_cast<std::uint32_t>(col - 1));
}

std::string Workbook::cellMonthDay(int sheet, int row, int col) const {
  Cell c = cell(sheet, row, col);
  if (c.kind == Cell::Kind::Number && c.isDate && c.number >= 0 && c.number < 2958466) {
    std::int64_t days = static_cast<std::int64_t>(std::floor(c.number));
    int y;
    unsigned m, d;
    if (d_->xlsx ? d_->xlsx->date1904() : d_->date1904) {
      civilFromDays(daysFromCivil(1904, 1, 1) + days, y, m, d);
    } else if (days == 60) {
      return monthDay(2, 29);  // the 1900 system's 29 February 1900
    } else {
      civilFromDays(daysFromCivil(1899, 12, days < 60 ? 31 : 30) + days, y, m, d);
    }
    return monthDay(m, d);
  }
  if (c.kind == Cell::Kind::Text) {
    unsigned m, d;
    if (parseDateText(c.text, m, d)) return monthDay(m, d);
  }
  return c.toText();
}

void Workbook::Impl::checkWritable(int sheet, int row, int col) const {
  if (row < 1 || row > 65536 || col < 1 || col > 256)
    throw WorkbookError("Cell row " + std::to_string(row) + ", column " + std::to_string(col) + " is outside the sheet.");
  checkWholeFile();
  const Sheet& s = readableWorksheet(sheet);
  const std::uint32_t key = (static_cast<std::uint32_t>(row - 1) << 8) | static_cast<std::uint32_t>(col - 1);
  const CellSlot* it = s.find(key);
  if (it && (it->flags & kSharedFormula))
    throw WorkbookError("Cannot write this workbook: the cell is part of a shared or array formula.",
                        ErrorKind::CannotWrite);
  if (!s.layoutChecked) {
    checkSheetLayout(*this, s);
    s.layoutChecked = true;
  }
}

void Workbook::setText(int sheet, int row, int col, const std::string& utf8) {
  if (d_->xlsx) return d_->xlsx->setText(sheet, row, col, utf8);
  d_->checkWritable(sheet, row, col);
  const std::u16string u = utf8ToUtf16(utf8);
  if (u.size() > 32767) throw WorkbookError("The text is longer than a cell can hold.");
  Impl& d = *d_;
  if (d.stringIndex.empty()) {
    for (std::size_t i = d.sst.size(); i-- > 0;)
      if (d.sstPlain[i]) d.stringIndex[d.sst[i]] = static_cast<std::uint32_t>(i);
  }
  std::uint32_t index;
  auto found = d.stringIndex.find(utf8);
  if (found != d.stringIndex.end()) {
    index = found->second;
  } else {
    if (!d.sstClean)
      throw WorkbookError("Cannot write this workbook: its shared string table is damaged.", ErrorKind::CannotWrite);
    index = static_cast<std::uint32_t>(d.sst.size() + d.newStrings.size());
    d.newStrings.push_back(utf8);
    d.stringIndex.emplace(utf8, index);
  }
  d.worksheet(sheet).edits[(static_cast<std::uint32_t>(row - 1) << 8) | static_cast<std::uint32_t>(col - 1)] = Edit{true, 0, index};
}

void Workbook::setInteger(int sheet, int row, int col, std::int16_t value) {
  if (d_->xlsx) return d_->xlsx->setInteger(sheet, row, col, value);
  d_->checkWritable(sheet, row, col);
  d_->worksheet(sheet).edits[(static_cast<std::uint32_t>(row - 1) << 8) | static_cast<std::uint32_t>(col - 1)] = Edit{false, value, 0};
}

bool Workbook::modified() const {
  if (d_->xlsx) return d_->xlsx->modified();
  for (const Sheet& s : d_->sheets)
    if (!s.edits.empty()) return true;
  return false;
}

std::vector<std::uint8_t> Workbook::serialize() const {
  if (d_->xlsx) return d_->xlsx->build().image;
  if (!modified()) return d_->cfb->image();
  return d_->cfb->replaceStream(d_->streamEntry, d_->serializeStream());
}

bool Workbook::changedOnDisk() const { return d_->file.changedOnDisk(); }

void Workbook::save() {
  Impl& d = *d_;
  if (!d.file.attached()) throw WorkbookError("This workbook has no file to save to.");
  if (!modified()) return;  // nothing to write: the file stays as it is
  if (d.xlsx) {
    // The same file steps as the legacy format: locks, change check, the safe replacement.
    XlsxBook::Output built = d.xlsx->build();
    d.file.save(built.image, [&] {
      try {
        d.xlsx->adopt(std::move(built));
      } catch (const std::exception&) {
        d.xlsx = XlsxBook::parse(d.file.content());  // read the saved image like any other
      }
    });
    return;
  }
  d.checkWholeFile();
  SaveLayout layout;
  Bytes stream = d.serializeStream(&layout);
  Bytes out = d.cfb->replaceStream(d.streamEntry, stream, std::move(d.spareImage));
  // Once the new file is in place the workbook describes it, even when a later step fails.
  std::unique_ptr<Impl> fresh;
  auto takeOver = [&] {
    fresh = std::make_unique<Impl>();
    fresh->active = d.active;
    try {
      fresh->parse(std::move(out), &d, &layout);
    } catch (const std::exception&) {
      // Taking the state over failed: read the saved image like any other.
      fresh = std::make_unique<Impl>();
      fresh->active = d.active;
      fresh->parse(d.file.content());
    }
  };
  auto install = [&] {
    fresh->file = std::move(d.file);
    // The old image and the stream buffer serve the next save.
    fresh->spareImage = d.cfb->releaseImage();
    fresh->spareStream = std::move(stream);
    d_ = std::move(fresh);
  };
  try {
    d.file.save(out, takeOver);
  } catch (...) {
    if (fresh) install();
    throw;
  }
  install();
}

}  // namespace velquor::roster

#include "roster/workbook.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

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

constexpr std::uintmax_t kMaxFileSize = std::uintmax_t{256} << 20;

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

// Another program holds `file`: a LibreOffice lock file, an Office owner file or a lock on the
// file itself. `who` gets the holder's name when the lock says.
bool heldByOther(const std::filesystem::path& file, std::string& who) {
  namespace fs = std::filesystem;
  const fs::path dir = file.parent_path();
  const std::string name = file.filename().string();
  std::error_code ec;
  const fs::path loLock = dir / (".~lock." + name + "#");
  if (fs::exists(loLock, ec)) {
    // "name,osuser,host,DD.MM.YYYY HH:MM,profile;" with , ; \ escaped by a backslash.
    if (FILE* f = std::fopen(loLock.c_str(), "rb")) {
      char buf[1024];
      std::size_t n = std::fread(buf, 1, sizeof buf, f);
      std::fclose(f);
      std::vector<std::string> fields(1);
      for (std::size_t i = 0; i < n && buf[i] != '\n' && buf[i] != ';'; ++i) {
        if (buf[i] == '\\' && i + 1 < n) {
          fields.back().push_back(buf[++i]);
        } else if (buf[i] == ',') {
          fields.emplace_back();
        } else {
          fields.back().push_back(buf[i]);
        }
      }
      who = !fields[0].empty() ? fields[0] : (fields.size() > 1 ? fields[1] : "");
      if (fields.size() > 3 && !who.empty()) who += " (" + fields[2] + ", " + fields[3] + ")";
    }
    return true;
  }
  const fs::path msLock = dir / ("~$" + name);
  if (fs::exists(msLock, ec)) {
    // Owner file: a length byte and the user name in the ANSI code page, then at offset 54 the
    // length and the name again in UTF-16.
    if (FILE* f = std::fopen(msLock.c_str(), "rb")) {
      unsigned char buf[165];
      std::size_t n = std::fread(buf, 1, sizeof buf, f);
      std::fclose(f);
      if (n >= 56) {
        std::size_t len = rd16(buf + 54);
        std::u16string s;
        for (std::size_t i = 0; i < len && 56 + 2 * i + 1 < n; ++i) s.push_back(static_cast<char16_t>(rd16(buf + 56 + 2 * i)));
        who = utf16ToUtf8(s);
      } else if (n >= 1) {
        for (std::size_t i = 1; i <= buf[0] && i < n; ++i)
          if (buf[i] < 0x80) who.push_back(static_cast<char>(buf[i]));
      }
    }
    return true;
  }
  int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd >= 0) {
    struct flock fl {};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    bool locked = ::fcntl(fd, F_GETLK, &fl) == 0 && fl.l_type != F_UNLCK;
    ::close(fd);
    if (locked) {
      who = "process " + std::to_string(fl.l_pid);
      return true;
    }
  }
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
  d->path = path;
  std::error_code ec;
  d->resolved = std::filesystem::weakly_canonical(path, ec);
  if (ec) d->resolved = path;
  d->ops = std::move(ops);
  FileInfo info = d->ops->stat(d->resolved);
  if (!info.exists) throw WorkbookError("The workbook \"" + path.string() + "\" does not exist.", ErrorKind::NotFound);
  Bytes bytes = d->ops->readAll(d->resolved, kMaxFileSize);
  d->stamp = DiskStamp{bytes.size(), info.mtimeNs};
  d->load(std::move(bytes));
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

bool Workbook::readOnly() const {
  if (d_->resolved.empty()) return true;
  std::string who;
  if (heldByOther(d_->resolved, who)) return true;
  return ::access(d_->resolved.c_str(), W_OK) != 0 || ::access(d_->resolved.parent_path().c_str(), W_OK) != 0;
}

std::string Workbook::holder() const {
  std::string who;
  if (!d_->resolved.empty()) heldByOther(d_->resolved, who);
  return who;
}

std::string Workbook::fileName() const { return d_->path.filename().string(); }
std::filesystem::path Workbook::path() const { return d_->path; }
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
Sheet& Workbook::Impl::worksheet(int position) {
  return const_cast<Sheet&>(static_cast<const Impl*>(this)->worksheet(position));
}

int Workbook::lastRow(int sheet) const {
  if (d_->xlsx) return d_->xlsx->lastRow(sheet);
  const Sheet& s = d_->worksheet(sheet);
  int last = s.cells.empty() ? 0 : static_cast<int>(s.cells.back().key >> 8) + 1;
  if (!s.edits.empty()) last = std::max(last, static_cast<int>(s.edits.rbegin()->first >> 8) + 1);
  return last;
}

int Workbook::lastColumn(int sheet) const {
  if (d_->xlsx) return d_->xlsx->lastColumn(sheet);
  const Sheet& s = d_->worksheet(sheet);
  int last = s.lastColumn;
  for (const auto& e : s.edits) last = std::max(last, static_cast<int>(e.first & 0xFF) + 1);
  return last;
}

Cell Workbook::cell(int sheet, int row, int col) const {
  if (d_->xlsx) return d_->xlsx->cell(sheet, row, col);
  const Sheet& s = d_->worksheet(sheet);
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
  const Sheet& s = worksheet(sheet);
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

bool Workbook::changedOnDisk() const {
  if (d_->resolved.empty()) return false;
  FileInfo info = d_->ops->stat(d_->resolved);
  if (!info.exists || info.size != d_->stamp.size) return true;
  if (info.mtimeNs == d_->stamp.mtimeNs) return false;
  const Bytes now = d_->ops->readAll(d_->resolved, kMaxFileSize);
  const Bytes& known = d_->xlsx ? d_->xlsx->image() : d_->cfb->image();  // as read (.xls: padded to whole sectors)
  return now.size() != d_->stamp.size || now.size() > known.size() || !std::equal(now.begin(), now.end(), known.begin());
}

void Workbook::save() {
  Impl& d = *d_;
  if (d.resolved.empty()) throw WorkbookError("This workbook has no file to save to.");
  if (!modified()) return;  // nothing to write: the file stays as it is
  std::string who;
  if (heldByOther(d.resolved, who))
    throw WorkbookError("The workbook is open in another program" + (who.empty() ? std::string() : " (" + who + ")") +
                            "; close it there first.",
                        ErrorKind::Held, who);
  if (changedOnDisk())
    throw WorkbookError("The workbook was changed by another program since it was read; open it again.",
                        ErrorKind::ChangedOnDisk);
  const FileInfo info = d.ops->stat(d.resolved);
  if (!info.regular) throw WorkbookError("The workbook is not a regular file.", ErrorKind::NotRegular);
  SaveLayout layout;
  Bytes stream;
  XlsxBook::Output built;
  if (d.xlsx) built = d.xlsx->build();
  else stream = d.serializeStream(&layout);
  Bytes out = d.xlsx ? std::move(built.image) : d.cfb->replaceStream(d.streamEntry, stream, std::move(d.spareImage));

  int handle = -1;
  bool open = false;
  std::filesystem::path tmp;
  try {
    tmp = d.ops->createTemp(d.resolved, handle);
    open = true;
    d.ops->write(handle, out.data(), out.size());
    d.ops->sync(handle);
    d.ops->setPermissions(handle, info);
    open = false;
    d.ops->close(handle);
    d.ops->rename(tmp, d.resolved);
  } catch (...) {
    if (open) {
      try {
        d.ops->close(handle);
      } catch (...) {
      }
    }
    if (!tmp.empty()) d.ops->remove(tmp);
    throw;
  }
  // The new file is in place: from here on the workbook describes it.
  if (d.xlsx) {
    const std::size_t size = out.size();
    built.image = std::move(out);
    try {
      d.xlsx->adopt(std::move(built));
    } catch (const std::exception&) {
      d.xlsx = XlsxBook::parse(d.ops->readAll(d.resolved, kMaxFileSize));  // read the saved file like any other
    }
    FileInfo now{};
    try {
      now = d.ops->stat(d.resolved);
    } catch (...) {
    }
    d.stamp = DiskStamp{size, now.mtimeNs};
    d.ops->syncDirectory(d.resolved.parent_path());
    return;
  }
  auto fresh = std::make_unique<Impl>();
  fresh->path = d.path;
  fresh->resolved = d.resolved;
  fresh->ops = d.ops;
  fresh->active = d.active;
  const std::size_t size = out.size();
  try {
    fresh->parse(std::move(out), &d, &layout);
  } catch (const std::exception&) {
    // Taking the state over failed: read the saved file like any other.
    fresh = std::make_unique<Impl>();
    fresh->path = d.path;
    fresh->resolved = d.resolved;
    fresh->ops = d.ops;
    fresh->active = d.active;
    fresh->parse(d.ops->readAll(d.resolved, kMaxFileSize));
  }
  FileInfo now{};
  try {
    now = d.ops->stat(d.resolved);
  } catch (...) {
  }
  fresh->stamp = DiskStamp{size, now.mtimeNs};
  // The old image and the stream buffer serve the next save.
  fresh->spareImage = d.cfb->releaseImage();
  fresh->spareStream = std::move(stream);
  d_ = std::move(fresh);
  d_->ops->syncDirectory(d_->resolved.parent_path());
}

bool Workbook::showInDesktop() const {
  if (d_->resolved.empty()) return false;
  // A shell starts the viewer in the background and exits at once, so no child is left behind.
  const char* argv[] = {"/bin/sh", "-c", "xdg-open \"$1\" >/dev/null 2>&1 &", "sh", d_->resolved.c_str(), nullptr};
  pid_t pid;
  if (posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char* const*>(argv), environ) != 0) return false;
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace velquor::roster

#include "results/pending.h"

#include <algorithm>
#include <map>
#include <stdexcept>

#include "core/filepath.h"
#include "core/log.h"
#include "core/textfile.h"
#include "results/marks.h"
#include "roster/file_ops.h"
#include "roster/workbookset.h"

namespace velquor::results {
namespace fs = std::filesystem;
namespace {

std::string trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  const auto last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

std::string canonical(const std::string& path) { return utf8FromPath(roster::samePlace(pathFromUtf8(path))); }

int sheetNamed(const roster::Workbook& book, const std::string& name) {
  for (int s = 1; s <= book.sheetCount(); ++s)
    if (book.sheetName(s) == name) return s;
  return 0;
}

// One class sheet while writes are applied: its students by number and name, read once
// (applying writes never changes columns A and B), and each day's column once found.
struct SheetIndex {
  int sheet = 0;
  std::map<std::pair<std::string, std::string>, int> rows;
  std::map<std::string, int> dayColumns;

  SheetIndex(const roster::Workbook& book, int s) : sheet(s) {
    const roster::WorkbookCells cells(book, sheet);
    for (int row = roster::kFirstStudentRow; row <= roster::kLastListEndRow; ++row) {
      const Variant a = cells.value(row, roster::kNumberColumn);
      if (a.isBlank()) break;
      rows.emplace(std::make_pair(trimmed(a.toText()), trimmed(cells.value(row, roster::kNameColumn).toText())), row);
    }
  }
  int rowOf(const std::string& number, const std::string& name) const {
    const auto it = rows.find({trimmed(number), trimmed(name)});
    return it == rows.end() ? 0 : it->second;
  }
  int columnOf(const roster::Workbook& book, const std::string& date) {
    auto it = dayColumns.find(date);
    if (it == dayColumns.end()) it = dayColumns.emplace(date, roster::findTodayColumn(roster::WorkbookCells(book, sheet), date)).first;
    return it->second;
  }
};

bool applyMark(roster::Workbook& book, SheetIndex& index, const PendingWrite& write) {
  const int row = index.rowOf(write.number, write.name);
  if (row == 0) return false;
  const int column = index.columnOf(book, write.date);
  const auto mark = markAfterScore(roster::toVariant(book.cell(index.sheet, row, column)), write.score);
  if (!mark) return false;
  if (headingNeedsWriting(book.cellMonthDay(index.sheet, roster::kHeadingRow, column), write.date))
    book.setText(index.sheet, roster::kHeadingRow, column, write.date);
  book.setInteger(index.sheet, row, column, *mark);
  return true;
}

bool applyGroups(roster::Workbook& book, const SheetIndex& index, const PendingWrite& write) {
  std::vector<int> rows;
  rows.reserve(write.groups.size());
  for (const GroupEntry& entry : write.groups) {
    const int row = index.rowOf(entry.number, entry.name);
    if (row == 0) return false;  // a group column is written whole or not at all
    rows.push_back(row);
  }
  for (std::size_t i = 0; i < rows.size(); ++i)
    book.setInteger(index.sheet, rows[i], roster::kGroupColumn, static_cast<std::int16_t>(write.groups[i].group));
  return true;
}

// The system's file operations, remembering the hash of the roster as it was read: the
// file a save's claims are settled against is exactly the file the save starts from.
class HashingOps : public roster::FileOps {
 public:
  HashingOps() : inner_(roster::systemFileOps()) {}
  std::vector<std::uint8_t> readAll(const fs::path& path, std::uintmax_t maxSize) override {
    auto bytes = inner_->readAll(path, maxSize);
    if (!read_) readHash_ = contentHash(bytes);
    read_ = true;
    return bytes;
  }
  roster::FileInfo stat(const fs::path& path) override { return inner_->stat(path); }
  fs::path createTemp(const fs::path& target, int& handle) override { return inner_->createTemp(target, handle); }
  void write(int handle, const std::uint8_t* data, std::size_t size) override { inner_->write(handle, data, size); }
  void sync(int handle) override { inner_->sync(handle); }
  void setPermissions(int handle, const roster::FileInfo& like) override { inner_->setPermissions(handle, like); }
  void close(int handle) override { inner_->close(handle); }
  void rename(const fs::path& from, const fs::path& to) override { inner_->rename(from, to); }
  void syncDirectory(const fs::path& dir) override { inner_->syncDirectory(dir); }
  void remove(const fs::path& path) noexcept override { inner_->remove(path); }
  std::uint64_t readHash() const { return readHash_; }

 private:
  std::shared_ptr<roster::FileOps> inner_;
  bool read_ = false;
  std::uint64_t readHash_ = 0;
};

std::int64_t timeOf(const fs::path& path) {
  std::error_code ec;
  const auto time = fs::last_write_time(path, ec);
  return ec ? 0 : static_cast<std::int64_t>(time.time_since_epoch().count());
}

}  // namespace

std::optional<WaitCause> waitCauseOf(roster::ErrorKind kind) {
  switch (kind) {
    case roster::ErrorKind::Held: return WaitCause::Held;
    case roster::ErrorKind::ReadOnly: return WaitCause::ReadOnly;
    case roster::ErrorKind::ChangedOnDisk: return WaitCause::ChangedOnDisk;
    case roster::ErrorKind::NotFound: return WaitCause::Missing;
    default: return std::nullopt;
  }
}

std::vector<std::uint64_t> applyPending(roster::Workbook& book, std::vector<PendingWrite>& writes) {
  std::vector<std::uint64_t> applied;
  const std::string roster = canonical(utf8FromPath(book.path()));
  std::map<std::string, bool> sameRoster;  // resolving a path costs system calls: once each
  std::map<std::string, std::optional<SheetIndex>> sheets;
  for (PendingWrite& write : writes) {
    auto known = sameRoster.find(write.roster);
    if (known == sameRoster.end()) known = sameRoster.emplace(write.roster, canonical(write.roster) == roster).first;
    if (!known->second) continue;
    auto it = sheets.find(write.sheet);
    if (it == sheets.end()) {
      const int sheet = sheetNamed(book, write.sheet);
      it = sheets.emplace(write.sheet, sheet > 0 ? std::optional<SheetIndex>(SheetIndex(book, sheet)) : std::nullopt).first;
    }
    bool done = false;
    try {
      if (it->second) done = write.kind == PendingKind::Mark ? applyMark(book, *it->second, write) : applyGroups(book, *it->second, write);
    } catch (const roster::ClassSheetError&) {
      done = false;  // no column left for the day
    }
    write.unmatched = !done;
    if (done) applied.push_back(write.id);
  }
  return applied;
}

void checkWritable(const roster::Workbook& book) {
  if (book.readOnly() && !book.holder().empty())
    throw roster::WorkbookError("The workbook is open in another program.", roster::ErrorKind::Held, book.holder());
  std::error_code ec;
  const auto perms = fs::status(book.path(), ec).permissions();
  if (ec) return;  // the save reports what is wrong
  constexpr auto anyWrite = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
  if ((perms & anyWrite) == fs::perms::none)
    throw roster::WorkbookError("The workbook is marked read-only.", roster::ErrorKind::ReadOnly);
}

std::uint64_t contentHash(const std::vector<std::uint8_t>& bytes) {
  std::uint64_t hash = 1469598103934665603ULL;  // FNV-1a, with the length folded in
  for (const std::uint8_t b : bytes) hash = (hash ^ b) * 1099511628211ULL;
  hash ^= bytes.size();
  return hash == 0 ? 1 : hash;
}

std::optional<std::uint64_t> fileHash(const fs::path& path) {
  const auto text = readTextFile(path);
  if (!text) return std::nullopt;
  return contentHash(std::vector<std::uint8_t>(text->begin(), text->end()));
}

RosterStamp stampOf(const std::string& roster) {
  RosterStamp stamp;
  const fs::path path = pathFromUtf8(roster);
  std::error_code ec;
  const auto status = fs::status(path, ec);
  stamp.folderTime = timeOf(path.parent_path());
  const auto beside = [&](const char* prefix, const char* suffix) {
    fs::path name(prefix);
    name += path.filename();
    name += suffix;
    std::error_code missing;
    return fs::exists(path.parent_path() / name, missing);
  };
  stamp.locks = (beside(".~lock.", "#") ? 1u : 0u) | (beside("~$", "") ? 2u : 0u);
  if (ec || !fs::is_regular_file(status)) return stamp;
  stamp.exists = true;
  stamp.perms = static_cast<unsigned>(status.permissions());
  stamp.size = fs::file_size(path, ec);
  stamp.time = timeOf(path);
  return stamp;
}

PendingJournal::PendingJournal(store::Store& store) : store_(store) { reload(); }

void PendingJournal::reload() {
  revision_ = store_.revision();
  writes_ = store_.pending();
  for (PendingWrite& w : writes_) w.unmatched = std::find(unmatched_.begin(), unmatched_.end(), w.id) != unmatched_.end();
}

bool PendingJournal::sync() {
  if (store_.revision() == revision_) return false;
  reload();
  return true;
}

void PendingJournal::add(PendingWrite write) {
  write.roster = canonical(write.roster);
  write.commitHash = 0;
  store_.addPending(write);
  reload();
}

void PendingJournal::remove(const std::vector<std::uint64_t>& ids) {
  try {
    store_.removePending(ids);
  } catch (...) {
    reload();
    throw;
  }
  reload();
}

void PendingJournal::settleInterruptedSaves() {
  store_.settleLeftClaims([](const std::string& roster) { return fileHash(pathFromUtf8(roster)); });
  reload();
}

int PendingJournal::countFor(const std::string& roster) const {
  const std::string key = canonical(roster);
  return static_cast<int>(std::count_if(writes_.begin(), writes_.end(), [&](const PendingWrite& w) { return w.roster == key; }));
}

void PendingJournal::noteUnmatched(const std::vector<PendingWrite>& tried) {
  for (const PendingWrite& w : tried) {
    std::erase(unmatched_, w.id);
    if (w.unmatched) unmatched_.push_back(w.id);
  }
  for (PendingWrite& w : writes_) w.unmatched = std::find(unmatched_.begin(), unmatched_.end(), w.id) != unmatched_.end();
}

int flushPending(PendingJournal& journal, const std::string& path, roster::FileLock* heldBy) {
  auto ops = std::make_shared<HashingOps>();
  roster::Workbook book = roster::Workbook::open(pathFromUtf8(path), ops);
  try {
    checkWritable(book);
  } catch (const roster::WorkbookError& e) {
    if (heldBy && e.kind() == roster::ErrorKind::Held) *heldBy = book.lock();
    throw;
  }
  store::Store& store = journal.store();
  std::vector<PendingWrite> tried;
  const store::Store::Applied applied =
      store.claimPending(canonical(path), ops->readHash(), [&](std::vector<PendingWrite>& writes) {
        store::Store::Applied placed;
        placed.ids = applyPending(book, writes);
        tried = writes;
        // The claim carries the hash of the file the save is about to write.
        if (!placed.ids.empty()) placed.fileHash = contentHash(book.serialize());
        return placed;
      });
  journal.noteUnmatched(tried);
  if (applied.ids.empty()) {
    journal.sync();
    return 0;
  }
  try {
    book.save();
  } catch (const std::exception& failure) {
    // A save that put the new file in place and failed only afterwards has stored them.
    if (book.modified()) {
      try {
        store.releaseClaims(applied.ids);
      } catch (const store::StoreError& e) {
        // The claims stay; the next try settles them against the file on disk.
        log::write("pending writes", std::string("claims not released: ") + e.what(), path);
      }
      journal.sync();
      throw;
    }
    log::write("pending writes", std::string("saved, then: ") + failure.what(), path);
  }
  store.settleClaims(applied.ids);
  journal.sync();
  return static_cast<int>(applied.ids.size());
}

}  // namespace velquor::results

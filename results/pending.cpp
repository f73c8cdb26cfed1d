#include "results/pending.h"

#include <algorithm>
#include <map>
#include <sstream>
#include <stdexcept>

#include "core/filepath.h"
#include "core/textfile.h"
#include "results/marks.h"
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

std::optional<std::uint64_t> toU64(const std::string& text) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
  try {
    return std::stoull(text);
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

constexpr std::string_view kHeader = "velquor-pending 1";

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

std::string encodeJournal(const std::vector<PendingWrite>& writes) {
  std::ostringstream out;
  out << kHeader << '\n';
  for (const PendingWrite& w : writes) {
    out << (w.kind == PendingKind::Mark ? "M" : "G") << '\t' << w.id << '\t' << w.commitHash << '\t'
        << escapedField(w.roster) << '\t' << escapedField(w.sheet) << '\t' << escapedField(w.date);
    if (w.kind == PendingKind::Mark) {
      out << '\t' << escapedField(w.number) << '\t' << escapedField(w.name) << '\t' << escapedField(w.score);
    } else {
      for (const GroupEntry& g : w.groups) out << '\t' << escapedField(g.number) << '\t' << escapedField(g.name) << '\t' << g.group;
    }
    out << '\n';
  }
  return out.str();
}

std::vector<PendingWrite> decodeJournal(std::string_view text) {
  std::vector<PendingWrite> writes;
  const auto lines = completeLines(text);
  if (lines.empty() || lines.front() != kHeader) return writes;
  for (std::size_t l = 1; l < lines.size(); ++l) {
    const std::string_view line = lines[l];
    const auto f = splitFields(line);
    if (f.size() < 6 || (f[0] != "M" && f[0] != "G")) continue;
    const auto id = toU64(f[1]);
    const auto hash = toU64(f[2]);
    if (!id || !hash) continue;
    PendingWrite w;
    w.id = *id;
    w.commitHash = *hash;
    w.roster = f[3];
    w.sheet = f[4];
    w.date = f[5];
    if (f[0] == "M") {
      if (f.size() != 9) continue;
      w.number = f[6];
      w.name = f[7];
      w.score = f[8];
    } else {
      if ((f.size() - 6) % 3 != 0) continue;
      w.kind = PendingKind::Groups;
      bool ok = true;
      for (std::size_t i = 6; i < f.size(); i += 3) {
        const auto group = toU64(f[i + 2]);
        if (!group || *group > 32767) ok = false;
        else w.groups.push_back({f[i], f[i + 1], static_cast<int>(*group)});
      }
      if (!ok) continue;
    }
    writes.push_back(std::move(w));
  }
  return writes;
}

PendingJournal::PendingJournal(fs::path file) : file_(std::move(file)) {
  if (const auto text = readTextFile(file_)) writes_ = decodeJournal(*text);
}

void PendingJournal::add(PendingWrite write) {
  std::uint64_t next = 1;
  for (const PendingWrite& w : writes_) next = std::max(next, w.id + 1);
  write.id = next;
  write.roster = canonical(write.roster);
  writes_.push_back(std::move(write));
  try {
    store();
  } catch (...) {
    writes_.pop_back();
    throw;
  }
}

void PendingJournal::remove(const std::vector<std::uint64_t>& ids) {
  std::erase_if(writes_, [&](const PendingWrite& w) { return std::find(ids.begin(), ids.end(), w.id) != ids.end(); });
  store();
}

void PendingJournal::store() const {
  replaceTextFile(file_, writes_.empty() ? std::string() : encodeJournal(writes_));
}

void PendingJournal::settleInterruptedSaves() {
  bool changed = false;
  std::vector<std::uint64_t> done;
  for (PendingWrite& w : writes_) {
    if (w.commitHash == 0) continue;
    if (fileHash(w.roster) == w.commitHash) done.push_back(w.id);
    w.commitHash = 0;
    changed = true;
  }
  if (!changed) return;
  std::erase_if(writes_, [&](const PendingWrite& w) { return std::find(done.begin(), done.end(), w.id) != done.end(); });
  store();
}

int PendingJournal::countFor(const std::string& roster) const {
  const std::string key = canonical(roster);
  return static_cast<int>(std::count_if(writes_.begin(), writes_.end(), [&](const PendingWrite& w) { return w.roster == key; }));
}

int flushPending(PendingJournal& journal, roster::Workbook& book) {
  const std::vector<std::uint64_t> applied = applyPending(book, journal.writes());
  if (applied.empty()) return 0;
  checkWritable(book);
  const std::uint64_t hash = contentHash(book.serialize());
  for (PendingWrite& w : journal.writes())
    if (std::find(applied.begin(), applied.end(), w.id) != applied.end()) w.commitHash = hash;
  journal.store();
  try {
    book.save();
  } catch (...) {
    // A save that put the new file in place and failed only afterwards has stored them.
    if (book.modified()) {
      for (PendingWrite& w : journal.writes()) w.commitHash = 0;
      try {
        journal.store();
      } catch (...) {
      }
      throw;
    }
  }
  journal.remove(applied);
  return static_cast<int>(applied.size());
}

}  // namespace velquor::results

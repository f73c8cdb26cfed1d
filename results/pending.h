// Writes the roster could not take when the teacher asked (held by another program,
// marked read-only, changed on disk, out of reach): kept in the program's store until they
// can be applied, then placed on the row where the student's number and name stand now.
// No widget in here.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "roster/classsheet.h"
#include "roster/workbook.h"
#include "store/programstore.h"

namespace velquor::results {

using store::GroupEntry;
using store::PendingKind;
using store::PendingWrite;

// Why writes are waiting, in the order the line in the window names them.
enum class WaitCause { None, Held, ReadOnly, ChangedOnDisk, Missing };

// The failures worth waiting out; the others are refused as before.
std::optional<WaitCause> waitCauseOf(roster::ErrorKind kind);

// Applies `writes` in order to the workbook in memory (no save). Writes of other rosters
// are skipped. A mark is added to what the cell holds in its day's column (writing the
// day's heading when needed); a group column is written only when every student is found.
// Returns the ids applied; the others are marked unmatched.
std::vector<std::uint64_t> applyPending(roster::Workbook& book, std::vector<PendingWrite>& writes);

// Refuses a save into a file marked read-only (no write permission bit) or held by
// another program, with the matching WorkbookError.
void checkWritable(const roster::Workbook& book);

std::uint64_t contentHash(const std::vector<std::uint8_t>& bytes);
std::optional<std::uint64_t> fileHash(const std::filesystem::path& path);

// What a roster looks like from outside, without reading it: whether it is there, its size,
// time and permissions, and its folder's time (a lock file coming or going changes it). A
// try that could not write is not worth repeating until this changes.
struct RosterStamp {
  bool exists = false;
  std::uintmax_t size = 0;
  std::int64_t time = 0;
  unsigned perms = 0;
  std::int64_t folderTime = 0;
  // Which lock files are there (LibreOffice's 1, the office owner file 2): a folder's time
  // may move in whole seconds only (Windows), too coarse to show one coming and going.
  unsigned locks = 0;
  bool operator==(const RosterStamp&) const = default;
};
RosterStamp stampOf(const std::string& roster);

// The writes waiting in the store, as this window shows them: a copy read again when the
// store changed (also by another process), with what the last try found out.
class PendingJournal {
 public:
  explicit PendingJournal(store::Store& store);
  const std::vector<PendingWrite>& writes() const { return writes_; }
  store::Store& store() { return store_; }
  // Reads the store again when anybody changed it; true when it did.
  bool sync();
  // Adds a write (giving it an id, the roster by its resolved path). Throws StoreError.
  void add(PendingWrite write);
  void remove(const std::vector<std::uint64_t>& ids);
  // Writes whose save was under way when their program stopped: those whose file on disk is
  // the file that save wrote are done and leave; the others wait again.
  void settleInterruptedSaves();
  int countFor(const std::string& roster) const;
  // The last try of this roster found no row for these writes.
  void noteUnmatched(const std::vector<PendingWrite>& tried);

 private:
  void reload();
  store::Store& store_;
  std::uint64_t revision_ = 0;
  std::vector<PendingWrite> writes_;
  std::vector<std::uint64_t> unmatched_;
};

// Opens the roster at `path`, applies every free waiting write of it and saves once. The
// writes are claimed in the store before the save and leave it after, so a crash in between
// or another process doing the same never applies a write twice. Returns the number of writes
// applied. A failed save leaves them waiting and rethrows (WorkbookError, StoreError). When
// another program holds the roster, `heldBy` receives its lock (read from the lock files).
int flushPending(PendingJournal& journal, const std::string& path, roster::FileLock* heldBy = nullptr);

}  // namespace velquor::results

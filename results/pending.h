// Writes the roster could not take when the teacher asked (held by another program,
// marked read-only, changed on disk, out of reach): kept in a journal file until they can
// be applied, then placed on the row where the student's number and name stand now.
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

namespace velquor::results {

enum class PendingKind { Mark, Groups };

struct GroupEntry {
  std::string number;  // column A as text
  std::string name;    // column B as text
  int group = 0;
};

struct PendingWrite {
  std::uint64_t id = 0;
  PendingKind kind = PendingKind::Mark;
  std::string roster;  // the roster file's path
  std::string sheet;   // the class sheet's name
  std::string date;    // the day's heading, "MM月dd"
  std::string number;  // a mark's student: column A and column B as text
  std::string name;
  std::string score;   // what the score box held; its leading number is added
  std::vector<GroupEntry> groups;  // a group column: every student of the class
  // Non-zero while a save holding this write is under way: the hash of the file that save
  // writes. Found on disk at the next start, the write is known to be in the file.
  std::uint64_t commitHash = 0;
  bool unmatched = false;  // the last try found no row (or no sheet) for it; not stored
};

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

std::string encodeJournal(const std::vector<PendingWrite>& writes);
// Lines that cannot be read are left out.
std::vector<PendingWrite> decodeJournal(std::string_view text);

// The journal file: read at start, rewritten whole (temporary file, flushed, renamed over
// the old one) every time a write joins or leaves it. No file when nothing is pending.
class PendingJournal {
 public:
  explicit PendingJournal(std::filesystem::path file);
  const std::vector<PendingWrite>& writes() const { return writes_; }
  std::vector<PendingWrite>& writes() { return writes_; }
  const std::filesystem::path& file() const { return file_; }
  // Adds a write (giving it an id) and stores the journal; throws when it cannot be stored.
  void add(PendingWrite write);
  void remove(const std::vector<std::uint64_t>& ids);
  // Stores the list as it is now. Throws std::runtime_error.
  void store() const;
  // Writes whose save was under way when the program stopped: those whose file on disk is
  // the file that save wrote are done and leave; the others wait again.
  void settleInterruptedSaves();
  int countFor(const std::string& roster) const;

 private:
  std::filesystem::path file_;
  std::vector<PendingWrite> writes_;
};

// Applies the journal's writes for `book` and saves once. The journal first records that
// the save is under way, so a crash in between never applies a write twice. Returns the
// number of writes applied. A failed save leaves them waiting and rethrows.
int flushPending(PendingJournal& journal, roster::Workbook& book);

}  // namespace velquor::results

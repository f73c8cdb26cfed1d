// The program's own data, kept in one SQLite database in the data folder ("velquor.db"):
// the marks and group columns waiting for a roster, today's absences and the history of
// calls. Every change is one transaction, and several processes may use the same database
// at once: a waiting write is claimed in a transaction before its roster is written and
// settled after, so it is never applied twice. No Qt in here.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace SQLite {
class Database;
class Statement;
}

namespace velquor::store {

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
  // writes. Found on disk once the save's process is gone, the write is known to be in the file.
  std::uint64_t commitHash = 0;
  bool unmatched = false;  // the last try found no row (or no sheet) for it; not stored
};

// One student of one class sheet of one roster, by number and name as the sheet shows them.
struct StudentKey {
  std::string roster;
  std::string sheet;
  std::string number;
  std::string name;
  bool operator==(const StudentKey&) const = default;
};

// One call as the window made it. Number and seat calls have no roster or class; their
// number is the number or the seat shown.
struct Call {
  std::int64_t id = 0;
  std::string time;  // local time, "YYYY-MM-DDTHH:MM:SS"
  std::string roster;
  std::string sheet;
  std::string number;
  std::string name;
  int category = 0;  // 0 name list, 1 number, 2 seat
  bool takenBack = false;
};

// A student's calls in a window of days, and the last call ever (calls taken back do not count).
struct StudentCalls {
  std::string number;
  std::string name;
  int calls = 0;          // within the window
  std::string lastTime;   // the last call's time, "" when never called
};

// Why the database could not do what was asked.
enum class Problem {
  None,
  Damaged,     // not a database, or a damaged one
  DiskFull,    // no space left
  ReadOnly,    // the folder or the file refuses writing
  Unavailable  // any other failure to open or write
};

class StoreError : public std::runtime_error {
 public:
  StoreError(const std::string& what, Problem problem) : std::runtime_error(what), problem_(problem) {}
  Problem problem() const { return problem_; }

 private:
  Problem problem_;
};

// What the hand-over of the old text files brought in.
struct Imported {
  int pending = 0;
  int absences = 0;
};

class Store {
 public:
  // How opening went, for the one message the teacher gets about it.
  struct Opened {
    std::unique_ptr<Store> store;  // never empty
    Problem problem = Problem::None;
    std::string detail;              // the database's own words, for the log
    std::filesystem::path setAside;  // where a damaged file was put ("" when none)
  };
  // Opens (or creates) the database. A damaged file is renamed "NAME.damaged-<today>" and a
  // new one started; a database that cannot be opened for writing (read-only folder, full
  // disk) is left as it is and the store keeps its data in memory until the program ends.
  // `today` is "YYYY-MM-DD"; absences of other days are dropped. Never throws.
  static Opened open(const std::filesystem::path& file, const std::string& today);
  // A store in memory only (nothing survives the process).
  static std::unique_ptr<Store> inMemory();
  ~Store();
  Store(const Store&) = delete;
  Store& operator=(const Store&) = delete;

  const std::filesystem::path& file() const { return file_; }
  bool inMemoryOnly() const { return file_.empty(); }
  // Changes whenever anybody (this store or another process) changed the database.
  std::uint64_t revision() const;

  // ---- Writes waiting for a roster ----------------------------------------------------
  // Every call throws StoreError when the database refuses.
  std::uint64_t addPending(const PendingWrite& write);  // returns its id
  std::vector<PendingWrite> pending() const;            // in the order they were added
  void removePending(const std::vector<std::uint64_t>& ids);

  // What `apply` placed into the roster in memory: the ids, and the hash of the file the save
  // is going to write.
  struct Applied {
    std::vector<std::uint64_t> ids;
    std::uint64_t fileHash = 0;
  };
  // In one transaction: first settles the claims on `roster` that their processes left (a
  // save that wrote the file with hash `readHash`, the file the caller read, is done and its
  // writes leave; the others are free again), then hands every free write of `roster` to
  // `apply` and claims those it applied for this store. Writes claimed by a live process are
  // left out. Returns the writes applied (as given to `apply`).
  Applied claimPending(const std::string& roster, std::uint64_t readHash,
                       const std::function<Applied(std::vector<PendingWrite>&)>& apply);
  // The save failed before the file was replaced: the writes are free again.
  void releaseClaims(const std::vector<std::uint64_t>& ids);
  // The save wrote the file: the writes leave.
  void settleClaims(const std::vector<std::uint64_t>& ids);
  // At start, for every roster with claims left by processes that are gone: `fileHash`
  // gives the roster's hash now (nothing when it cannot be read, and the claims stay).
  void settleLeftClaims(const std::function<std::optional<std::uint64_t>(const std::string& roster)>& fileHash);

  // ---- Absences -------------------------------------------------------------------------
  std::vector<StudentKey> absences(const std::string& day) const;
  void setAbsent(const std::string& day, const StudentKey& student, bool absent);

  // ---- Call history -----------------------------------------------------------------------
  std::int64_t recordCall(const Call& call);  // returns its id
  void takeBackCall(std::int64_t id);         // marks the call taken back (it is kept)
  // Every student of the class with a call: calls from `fromDay` to `toDay` ("YYYY-MM-DD",
  // both included) and the last call.
  std::vector<StudentCalls> callsPerStudent(const std::string& roster, const std::string& sheet,
                                            const std::string& fromDay, const std::string& toDay) const;
  // The same within the window only, from `fromDay` on ("YYYY-MM-DD"), `lastTime` the last call
  // in it: reads only the window's calls, for a pick that counts them.
  std::vector<StudentCalls> callsSince(const std::string& roster, const std::string& sheet,
                                       const std::string& fromDay) const;
  std::vector<Call> calls(const std::string& roster, const std::string& sheet) const;  // oldest first
  void clearCalls(const std::string& roster, const std::string& sheet);

  // ---- The text files of earlier versions -------------------------------------------------
  // Brings "pending.txt" and "absent.txt" of `folder` in once (one transaction each) and
  // renames them "….imported". A file brought in before whose renaming was cut short is only
  // renamed. Throws StoreError; a file that cannot be renamed is left (and not read again).
  Imported importLegacyFiles(const std::filesystem::path& folder);

  // The owner a claim of this store carries: "host:pid:token".
  const std::string& owner() const { return owner_; }

 private:
  Store(std::unique_ptr<SQLite::Database> db, std::filesystem::path file, const std::string& today);
  template <typename F>
  auto write(F&& change) -> decltype(change());
  bool claimIsLive(const std::string& owner, std::int64_t claimedAt) const;

  std::unique_ptr<SQLite::Database> db_;
  std::unique_ptr<SQLite::Statement> version_;  // PRAGMA data_version, prepared once
  std::filesystem::path file_;
  std::string owner_;
  std::uint64_t ownChanges_ = 0;
};

// The lines of an earlier version's "pending.txt" that can be read.
std::vector<PendingWrite> decodeLegacyJournal(std::string_view text);

// The database's file name in the data folder, and the name a damaged one is given.
constexpr const char* kDatabaseName = "velquor.db";
std::filesystem::path setAsideName(const std::filesystem::path& file, const std::string& today);

// The machine's name and this process's id; whether a process of this machine is running.
// (One implementation per platform.)
std::string hostName();
long processId();
bool processRunning(long pid);

}  // namespace velquor::store

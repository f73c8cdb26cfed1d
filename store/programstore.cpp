#include "store/programstore.h"

#include <SQLiteCpp/SQLiteCpp.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <random>

#include "core/textfile.h"

namespace velquor::store {
namespace fs = std::filesystem;
namespace {

// A claim older than this is not honoured even when its process seems to run (its process id
// may have been given to another process). Far longer than any save takes.
constexpr std::int64_t kClaimLifetimeSeconds = 600;
// Another process writing the database is waited for this long.
constexpr int kBusyTimeoutMs = 10000;
constexpr int kSchemaVersion = 1;

const char* const kSchema = R"(
CREATE TABLE IF NOT EXISTS meta(key TEXT PRIMARY KEY, value TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS pending(
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  kind INTEGER NOT NULL, roster TEXT NOT NULL, sheet TEXT NOT NULL, day TEXT NOT NULL,
  number TEXT NOT NULL, name TEXT NOT NULL, score TEXT NOT NULL, groups TEXT NOT NULL,
  claim_owner TEXT, claim_hash INTEGER, claim_time INTEGER);
CREATE INDEX IF NOT EXISTS pending_roster ON pending(roster);
CREATE TABLE IF NOT EXISTS absences(
  day TEXT NOT NULL, roster TEXT NOT NULL, sheet TEXT NOT NULL, number TEXT NOT NULL, name TEXT NOT NULL,
  PRIMARY KEY(day, roster, sheet, number, name)) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS calls(
  id INTEGER PRIMARY KEY AUTOINCREMENT, time TEXT NOT NULL, roster TEXT NOT NULL, sheet TEXT NOT NULL,
  number TEXT NOT NULL, name TEXT NOT NULL, category INTEGER NOT NULL, taken_back INTEGER NOT NULL DEFAULT 0);
CREATE INDEX IF NOT EXISTS calls_class ON calls(roster, sheet, time);
)";

// `path` with an ASCII suffix added to its file name, in the path's own (wide on Windows) form.
fs::path withSuffix(fs::path path, const std::string& suffix) {
  path += suffix;
  return path;
}

std::string utf8(const fs::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

Problem problemOf(int code) {
  switch (code & 0xff) {
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB: return Problem::Damaged;
    case SQLITE_FULL: return Problem::DiskFull;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_CANTOPEN:
    case SQLITE_AUTH: return Problem::ReadOnly;
    default: return Problem::Unavailable;
  }
}

[[noreturn]] void rethrow(const SQLite::Exception& e) {
  throw StoreError(std::string("program data: ") + e.what(), problemOf(e.getErrorCode()));
}

std::uint64_t textHash(std::string_view text) {
  std::uint64_t hash = 1469598103934665603ULL;  // FNV-1a
  for (const char c : text) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
  return hash ^ text.size();
}

std::string encodeGroups(const std::vector<GroupEntry>& groups) {
  std::string text;
  for (const GroupEntry& g : groups) {
    if (!text.empty()) text += '\t';
    text += escapedField(g.number) + '\t' + escapedField(g.name) + '\t' + std::to_string(g.group);
  }
  return text;
}

std::vector<GroupEntry> decodeGroups(const std::string& text) {
  std::vector<GroupEntry> groups;
  if (text.empty()) return groups;
  const auto f = splitFields(text);
  for (std::size_t i = 0; i + 2 < f.size(); i += 3) groups.push_back({f[i], f[i + 1], std::atoi(f[i + 2].c_str())});
  return groups;
}

std::optional<std::uint64_t> toU64(const std::string& text) {
  if (text.empty() || text.size() > 20 || text.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
  try {
    return std::stoull(text);
  } catch (const std::out_of_range&) {
    return std::nullopt;
  }
}

std::int64_t asStored(std::uint64_t hash) { return static_cast<std::int64_t>(hash); }
std::uint64_t fromStored(std::int64_t hash) { return static_cast<std::uint64_t>(hash); }

constexpr const char* kPendingColumns =
    "id, kind, roster, sheet, day, number, name, score, groups, coalesce(claim_hash, 0)";

PendingWrite pendingRow(SQLite::Statement& q) {
  PendingWrite w;
  w.id = static_cast<std::uint64_t>(q.getColumn(0).getInt64());
  w.kind = q.getColumn(1).getInt() == 1 ? PendingKind::Groups : PendingKind::Mark;
  w.roster = q.getColumn(2).getString();
  w.sheet = q.getColumn(3).getString();
  w.date = q.getColumn(4).getString();
  w.number = q.getColumn(5).getString();
  w.name = q.getColumn(6).getString();
  w.score = q.getColumn(7).getString();
  w.groups = decodeGroups(q.getColumn(8).getString());
  w.commitHash = fromStored(q.getColumn(9).getInt64());
  return w;
}

void insertPending(SQLite::Database& db, const PendingWrite& w, const char* owner) {
  SQLite::Statement q(db,
                      "INSERT INTO pending(kind, roster, sheet, day, number, name, score, groups, claim_owner, "
                      "claim_hash, claim_time) VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, 0)");
  q.bind(1, w.kind == PendingKind::Groups ? 1 : 0);
  q.bind(2, w.roster);
  q.bind(3, w.sheet);
  q.bind(4, w.date);
  q.bind(5, w.number);
  q.bind(6, w.name);
  q.bind(7, w.score);
  q.bind(8, encodeGroups(w.groups));
  if (owner) {
    q.bind(9, owner);
    q.bind(10, asStored(w.commitHash));
  }
  q.exec();
}

// "id IN (1, 2, 3)" for ids the program made (numbers only).
std::string idList(const std::vector<std::uint64_t>& ids) {
  std::string list;
  for (const std::uint64_t id : ids) list += (list.empty() ? "" : ", ") + std::to_string(id);
  return "id IN (" + list + ")";
}

std::string metaValue(SQLite::Database& db, const std::string& key) {
  SQLite::Statement q(db, "SELECT value FROM meta WHERE key = ?");
  q.bind(1, key);
  return q.executeStep() ? q.getColumn(0).getString() : std::string();
}

void setMeta(SQLite::Database& db, const std::string& key, const std::string& value) {
  SQLite::Statement q(db, "INSERT OR REPLACE INTO meta(key, value) VALUES(?, ?)");
  q.bind(1, key);
  q.bind(2, value);
  q.exec();
}

std::unique_ptr<SQLite::Database> openFile(const fs::path& file) {
  std::error_code ec;
  fs::create_directories(file.parent_path(), ec);
  auto db = std::make_unique<SQLite::Database>(utf8(file), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
  db->setBusyTimeout(kBusyTimeoutMs);
  // A file that may not be written (its read-only attribute, its permissions) is opened for
  // reading only; every later change would fail.
  if (sqlite3_db_readonly(db->getHandle(), "main") == 1)
    throw SQLite::Exception("the database file cannot be written", SQLITE_READONLY);
  // Reading the header here finds a file that is no database at all.
  const std::string mode = db->execAndGet("PRAGMA journal_mode=WAL").getString();
  if (mode != "wal") throw SQLite::Exception("cannot use write-ahead logging (" + mode + ")", SQLITE_CANTOPEN);
  // Every commit reaches the disk before it returns: a waiting mark's claim is known to be
  // stored before the roster is written.
  db->exec("PRAGMA synchronous=FULL");
  const std::string check = db->execAndGet("PRAGMA quick_check").getString();
  if (check != "ok") throw SQLite::Exception("damaged: " + check, SQLITE_CORRUPT);
  return db;
}

void setUpSchema(SQLite::Database& db) {
  SQLite::Transaction tx(db, SQLite::TransactionBehavior::IMMEDIATE);
  db.exec(kSchema);
  if (db.execAndGet("PRAGMA user_version").getInt() < kSchemaVersion)
    db.exec("PRAGMA user_version=" + std::to_string(kSchemaVersion));
  tx.commit();
}

// Moves the damaged file (and its write-ahead log) out of the way under a new name.
fs::path setAside(const fs::path& file, const std::string& today) {
  const fs::path aside = setAsideName(file, today);
  std::error_code ec;
  fs::rename(file, aside, ec);
  if (ec) throw SQLite::Exception("cannot set the damaged database aside: " + ec.message(), SQLITE_CANTOPEN);
  fs::rename(withSuffix(file, "-wal"), withSuffix(aside, "-wal"), ec);
  fs::remove(withSuffix(file, "-shm"), ec);
  return aside;
}

}  // namespace

fs::path setAsideName(const fs::path& file, const std::string& today) {
  const fs::path base = withSuffix(file, ".damaged-" + today);
  fs::path name = base;
  for (int n = 2; fs::exists(name) && n < 1000; ++n) name = withSuffix(base, "-" + std::to_string(n));
  return name;
}

Store::Opened Store::open(const fs::path& file, const std::string& today) {
  Opened opened;
  for (int attempt = 0; attempt < 2; ++attempt) {
    try {
      auto db = openFile(file);
      setUpSchema(*db);
      opened.store.reset(new Store(std::move(db), file, today));
      return opened;
    } catch (const SQLite::Exception& e) {
      opened.problem = problemOf(e.getErrorCode());
      opened.detail = e.what();
      if (opened.problem != Problem::Damaged || attempt > 0) break;
      try {
        opened.setAside = setAside(file, today);
      } catch (const SQLite::Exception& aside) {
        opened.problem = Problem::ReadOnly;
        opened.detail += std::string("; ") + aside.what();
        break;
      }
    } catch (const std::exception& e) {
      opened.problem = Problem::Unavailable;
      opened.detail = e.what();
      break;
    }
  }
  // Nothing could be opened for writing: the data lives in memory until the program ends,
  // and the file stays as it is for the next start.
  opened.store = inMemory();
  return opened;
}

std::unique_ptr<Store> Store::inMemory() {
  auto db = std::make_unique<SQLite::Database>(":memory:", SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
  setUpSchema(*db);
  return std::unique_ptr<Store>(new Store(std::move(db), {}, {}));
}

Store::Store(std::unique_ptr<SQLite::Database> db, fs::path file, const std::string& today)
    : db_(std::move(db)), file_(std::move(file)) {
  version_ = std::make_unique<SQLite::Statement>(*db_, "PRAGMA data_version");
  std::random_device random;
  owner_ = hostName() + ":" + std::to_string(processId()) + ":" + std::to_string(random()) + std::to_string(random());
  if (!today.empty()) {
    try {
      SQLite::Statement q(*db_, "DELETE FROM absences WHERE day < ?");
      q.bind(1, today);
      q.exec();
    } catch (const SQLite::Exception&) {
      // Kept for now: they are not shown on another day, and go at the next start.
    }
  }
}

Store::~Store() = default;

template <typename F>
auto Store::write(F&& change) -> decltype(change()) {
  try {
    SQLite::Transaction tx(*db_, SQLite::TransactionBehavior::IMMEDIATE);
    if constexpr (std::is_void_v<decltype(change())>) {
      change();
      tx.commit();
      ++ownChanges_;
    } else {
      auto result = change();
      tx.commit();
      ++ownChanges_;
      return result;
    }
  } catch (const SQLite::Exception& e) {
    rethrow(e);
  }
}

std::uint64_t Store::revision() const {
  try {
    version_->executeStep();
    const auto version = static_cast<std::uint64_t>(version_->getColumn(0).getInt64());
    version_->reset();  // a statement left stepping would hold its read transaction open
    return (version << 32) ^ ownChanges_;
  } catch (const SQLite::Exception&) {
    version_->tryReset();
    return ownChanges_;
  }
}

bool Store::claimIsLive(const std::string& owner, std::int64_t claimedAt) const {
  if (owner == owner_) return false;  // this store holds claims only inside a save of its own
  const auto firstColon = owner.find(':');
  const auto secondColon = owner.find(':', firstColon + 1);
  if (firstColon == std::string::npos || secondColon == std::string::npos) return false;  // "imported"
  if (std::time(nullptr) - claimedAt > kClaimLifetimeSeconds) return false;
  if (owner.compare(0, firstColon, hostName()) != 0) return true;  // another computer: by age only
  const long pid = std::atol(owner.substr(firstColon + 1, secondColon - firstColon - 1).c_str());
  return pid > 0 && processRunning(pid);
}

std::uint64_t Store::addPending(const PendingWrite& write_) {
  return write([&] {
    insertPending(*db_, write_, nullptr);
    return static_cast<std::uint64_t>(db_->getLastInsertRowid());
  });
}

std::vector<PendingWrite> Store::pending() const {
  try {
    std::vector<PendingWrite> writes;
    SQLite::Statement q(*db_, std::string("SELECT ") + kPendingColumns + " FROM pending ORDER BY id");
    while (q.executeStep()) writes.push_back(pendingRow(q));
    return writes;
  } catch (const SQLite::Exception& e) {
    rethrow(e);
  }
}

void Store::removePending(const std::vector<std::uint64_t>& ids) {
  if (ids.empty()) return;
  write([&] { db_->exec("DELETE FROM pending WHERE " + idList(ids)); });
}

Store::Applied Store::claimPending(const std::string& roster, std::uint64_t readHash,
                                   const std::function<Applied(std::vector<PendingWrite>&)>& apply) {
  return write([&] {
    std::vector<std::uint64_t> done, freed;
    {
      SQLite::Statement q(*db_, "SELECT id, claim_owner, claim_hash, claim_time FROM pending "
                                "WHERE roster = ? AND claim_owner IS NOT NULL");
      q.bind(1, roster);
      while (q.executeStep()) {
        if (claimIsLive(q.getColumn(1).getString(), q.getColumn(3).getInt64())) continue;
        const auto id = static_cast<std::uint64_t>(q.getColumn(0).getInt64());
        (fromStored(q.getColumn(2).getInt64()) == readHash ? done : freed).push_back(id);
      }
    }
    // The file read is the one a save that was cut short wrote: its writes are in it.
    if (!done.empty()) db_->exec("DELETE FROM pending WHERE " + idList(done));
    if (!freed.empty()) db_->exec("UPDATE pending SET claim_owner = NULL, claim_hash = NULL WHERE " + idList(freed));
    std::vector<PendingWrite> free;
    {
      SQLite::Statement q(*db_, std::string("SELECT ") + kPendingColumns +
                                    " FROM pending WHERE roster = ? AND claim_owner IS NULL ORDER BY id");
      q.bind(1, roster);
      while (q.executeStep()) free.push_back(pendingRow(q));
    }
    Applied applied = free.empty() ? Applied{} : apply(free);
    if (!applied.ids.empty()) {
      SQLite::Statement q(*db_, "UPDATE pending SET claim_owner = ?, claim_hash = ?, claim_time = ? WHERE " +
                                    idList(applied.ids));
      q.bind(1, owner_);
      q.bind(2, asStored(applied.fileHash));
      q.bind(3, static_cast<std::int64_t>(std::time(nullptr)));
      q.exec();
    }
    return applied;
  });
}

void Store::releaseClaims(const std::vector<std::uint64_t>& ids) {
  if (ids.empty()) return;
  write([&] {
    SQLite::Statement q(*db_, "UPDATE pending SET claim_owner = NULL, claim_hash = NULL WHERE claim_owner = ? AND " +
                                  idList(ids));
    q.bind(1, owner_);
    q.exec();
  });
}

void Store::settleClaims(const std::vector<std::uint64_t>& ids) {
  if (ids.empty()) return;
  write([&] {
    SQLite::Statement q(*db_, "DELETE FROM pending WHERE claim_owner = ? AND " + idList(ids));
    q.bind(1, owner_);
    q.exec();
  });
}

void Store::settleLeftClaims(const std::function<std::optional<std::uint64_t>(const std::string&)>& fileHash) {
  std::vector<std::string> rosters;
  try {
    SQLite::Statement q(*db_, "SELECT DISTINCT roster FROM pending WHERE claim_owner IS NOT NULL");
    while (q.executeStep()) rosters.push_back(q.getColumn(0).getString());
  } catch (const SQLite::Exception& e) {
    rethrow(e);
  }
  for (const std::string& roster : rosters) {
    const auto hash = fileHash(roster);
    if (!hash) continue;
    // The same settling a save does first, with nothing applied.
    claimPending(roster, *hash, [](std::vector<PendingWrite>&) { return Applied{}; });
  }
}

std::vector<StudentKey> Store::absences(const std::string& day) const {
  try {
    std::vector<StudentKey> keys;
    SQLite::Statement q(*db_, "SELECT roster, sheet, number, name FROM absences WHERE day = ?");
    q.bind(1, day);
    while (q.executeStep())
      keys.push_back({q.getColumn(0).getString(), q.getColumn(1).getString(), q.getColumn(2).getString(),
                      q.getColumn(3).getString()});
    return keys;
  } catch (const SQLite::Exception& e) {
    rethrow(e);
  }
}

void Store::setAbsent(const std::string& day, const StudentKey& s, bool absent) {
  write([&] {
    SQLite::Statement q(*db_, absent ? "INSERT OR IGNORE INTO absences(day, roster, sheet, number, name) VALUES(?, ?, ?, ?, ?)"
                                     : "DELETE FROM absences WHERE day = ? AND roster = ? AND sheet = ? AND number = ? AND name = ?");
    q.bind(1, day);
    q.bind(2, s.roster);
    q.bind(3, s.sheet);
    q.bind(4, s.number);
    q.bind(5, s.name);
    q.exec();
  });
}

std::int64_t Store::recordCall(const Call& c) {
  return write([&] {
    SQLite::Statement q(*db_, "INSERT INTO calls(time, roster, sheet, number, name, category, taken_back) "
                              "VALUES(?, ?, ?, ?, ?, ?, ?)");
    q.bind(1, c.time);
    q.bind(2, c.roster);
    q.bind(3, c.sheet);
    q.bind(4, c.number);
    q.bind(5, c.name);
    q.bind(6, c.category);
    q.bind(7, c.takenBack ? 1 : 0);
    q.exec();
    return db_->getLastInsertRowid();
  });
}

void Store::takeBackCall(std::int64_t id) {
  write([&] {
    SQLite::Statement q(*db_, "UPDATE calls SET taken_back = 1 WHERE id = ?");
    q.bind(1, id);
    q.exec();
  });
}

namespace {
// The rows (number, name, calls, last call) of a per-student call query.
std::vector<StudentCalls> studentCallRows(SQLite::Statement& q) {
  std::vector<StudentCalls> students;
  while (q.executeStep())
    students.push_back({q.getColumn(0).getString(), q.getColumn(1).getString(), q.getColumn(2).getInt(),
                        q.getColumn(3).getString()});
  return students;
}
}  // namespace

std::vector<StudentCalls> Store::callsPerStudent(const std::string& roster, const std::string& sheet,
                                                 const std::string& fromDay, const std::string& toDay) const {
  try {
    // A day's times all sort before the day followed by "~".
    SQLite::Statement q(*db_, "SELECT number, name, sum(time >= ?3 AND time < ?4 || '~'), max(time) FROM calls "
                              "WHERE roster = ?1 AND sheet = ?2 AND taken_back = 0 GROUP BY number, name");
    q.bind(1, roster);
    q.bind(2, sheet);
    q.bind(3, fromDay);
    q.bind(4, toDay);
    return studentCallRows(q);
  } catch (const SQLite::Exception& e) {
    rethrow(e);
  }
}

std::vector<StudentCalls> Store::callsSince(const std::string& roster, const std::string& sheet,
                                            const std::string& fromDay) const {
  try {
    SQLite::Statement q(*db_, "SELECT number, name, count(*), max(time) FROM calls "
                              "WHERE roster = ?1 AND sheet = ?2 AND time >= ?3 AND taken_back = 0 GROUP BY number, name");
    q.bind(1, roster);
    q.bind(2, sheet);
    q.bind(3, fromDay);
    return studentCallRows(q);
  } catch (const SQLite::Exception& e) {
    rethrow(e);
  }
}

std::vector<Call> Store::calls(const std::string& roster, const std::string& sheet) const {
  try {
    SQLite::Statement q(*db_, "SELECT id, time, roster, sheet, number, name, category, taken_back FROM calls "
                              "WHERE roster = ? AND sheet = ? ORDER BY time, id");
    q.bind(1, roster);
    q.bind(2, sheet);
    std::vector<Call> calls;
    while (q.executeStep())
      calls.push_back({q.getColumn(0).getInt64(), q.getColumn(1).getString(), q.getColumn(2).getString(),
                       q.getColumn(3).getString(), q.getColumn(4).getString(), q.getColumn(5).getString(),
                       q.getColumn(6).getInt(), q.getColumn(7).getInt() != 0});
    return calls;
  } catch (const SQLite::Exception& e) {
    rethrow(e);
  }
}

void Store::clearCalls(const std::string& roster, const std::string& sheet) {
  write([&] {
    SQLite::Statement q(*db_, "DELETE FROM calls WHERE roster = ? AND sheet = ?");
    q.bind(1, roster);
    q.bind(2, sheet);
    q.exec();
  });
}

Imported Store::importLegacyFiles(const fs::path& folder) {
  Imported imported;
  for (const char* name : {"pending.txt", "absent.txt"}) {
    const fs::path path = folder / name;
    const auto text = readTextFile(path);
    if (!text) continue;
    const std::string key = std::string("imported ") + name;
    const std::string hash = std::to_string(textHash(*text));
    const bool pendingFile = name[0] == 'p';
    write([&] {
      if (metaValue(*db_, key) == hash) return;  // brought in before; only the renaming was cut short
      if (pendingFile) {
        for (const PendingWrite& w : decodeLegacyJournal(*text)) {
          // A save that was under way when that version stopped: settled like a claim left
          // by a process that is gone.
          insertPending(*db_, w, w.commitHash != 0 ? "imported" : nullptr);
          ++imported.pending;
        }
      } else {
        const auto lines = completeLines(*text);
        for (std::size_t i = 1; i < lines.size() && lines.front() == "velquor-absent 1"; ++i) {
          const auto f = splitFields(lines[i]);
          if (f.size() != 5) continue;
          SQLite::Statement q(*db_, "INSERT OR IGNORE INTO absences(day, roster, sheet, number, name) VALUES(?, ?, ?, ?, ?)");
          for (int c = 0; c < 5; ++c) q.bind(c + 1, f[static_cast<std::size_t>(c)]);
          imported.absences += q.exec();
        }
      }
      setMeta(*db_, key, hash);
    });
    std::error_code ec;
    fs::rename(path, withSuffix(path, ".imported"), ec);
  }
  return imported;
}

std::vector<PendingWrite> decodeLegacyJournal(std::string_view text) {
  std::vector<PendingWrite> writes;
  const auto lines = completeLines(text);
  if (lines.empty() || lines.front() != "velquor-pending 1") return writes;
  for (std::size_t l = 1; l < lines.size(); ++l) {
    const auto f = splitFields(lines[l]);
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

}  // namespace velquor::store

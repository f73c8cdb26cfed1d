#include "roster/file/diskfile.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <vector>

#include "roster/cell/bytes.h"
#include "roster/cell/utf16.h"
#include "roster/file/platform.h"

namespace velquor::roster {

// The C library's error numbers as the kinds the messages tell apart; the same on every system.
ErrorKind errorKindOf(int error) {
  switch (error) {
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
      return ErrorKind::DiskFull;
    case EACCES:
    case EPERM:
    case EROFS: return ErrorKind::NoPermission;
    case ENOENT:
    case ENOTDIR:
    case ENODEV:
    case ENXIO: return ErrorKind::NotFound;
    default: return ErrorKind::Other;
  }
}

void throwSystemError(const std::string& what, const std::filesystem::path& path, int error) {
  throw WorkbookError(what + " \"" + path.string() + "\": " + std::strerror(error), errorKindOf(error));
}

std::string FileLock::describe() const {
  if (name.empty() || host.empty()) return name;
  return name + " (" + host + ", " + since + ")";
}

namespace detail {

namespace {

namespace fs = std::filesystem;
using namespace platform;
using Clock = std::chrono::steady_clock;

// How long a save waits for another copy of this program to finish its own save.
constexpr auto kWaitForOwnCopy = std::chrono::seconds(3);
// The last field of the lock files this program writes: where LibreOffice names its profile.
const std::string kOwnTag = "velquor-pid:";

// A file named after the roster beside it; joined as paths, so that no name goes through a
// narrow encoding (on Windows that would be the ANSI code page).
fs::path besideFile(const fs::path& file, const char* prefix, const char* suffix) {
  fs::path name(prefix);
  name += file.filename();
  name += suffix;
  return file.parent_path() / name;
}
fs::path lockFilePath(const fs::path& file) { return besideFile(file, ".~lock.", "#"); }
fs::path ownerFilePath(const fs::path& file) { return besideFile(file, "~$", ""); }

// A lock file as read: the lock and the tag this program leaves in its own.
struct ReadLock {
  FileLock lock;
  std::string tag;
};

// ".~lock.NAME#": "name,osuser,host,DD.MM.YYYY HH:MM,profile;" with , ; \ escaped by a backslash.
std::optional<ReadLock> readLockFile(const fs::path& p) {
  const auto text = readSmallFile(p, 1024);
  if (!text) return std::nullopt;
  std::vector<std::string> fields(1);
  const std::string& b = *text;
  for (std::size_t i = 0; i < b.size() && b[i] != '\n' && b[i] != ';'; ++i) {
    if (b[i] == '\\' && i + 1 < b.size()) {
      fields.back().push_back(b[++i]);
    } else if (b[i] == ',') {
      fields.emplace_back();
    } else {
      fields.back().push_back(b[i]);
    }
  }
  fields.resize(std::max<std::size_t>(fields.size(), 5));
  ReadLock r;
  r.lock.kind = FileLock::Kind::LockFile;
  r.lock.file = p;
  r.lock.name = !fields[0].empty() ? fields[0] : fields[1];
  r.lock.host = fields[2];
  r.lock.since = fields[3];
  r.tag = fields[4];
  return r;
}

// "~$NAME": a length byte and the user name in the ANSI code page, then at offset 54 the
// length and the name again in UTF-16.
std::optional<FileLock> readOwnerFile(const fs::path& p) {
  const auto text = readSmallFile(p, 165);
  if (!text) return std::nullopt;
  FileLock l;
  l.kind = FileLock::Kind::OwnerFile;
  l.file = p;
  const auto* buf = reinterpret_cast<const std::uint8_t*>(text->data());
  const std::size_t n = text->size();
  if (n >= 56) {
    const std::size_t len = rd16(buf + 54);
    std::u16string s;
    for (std::size_t i = 0; i < len && 56 + 2 * i + 1 < n; ++i) s.push_back(static_cast<char16_t>(rd16(buf + 56 + 2 * i)));
    l.name = utf16ToUtf8(s);
  } else if (n >= 1) {
    for (std::size_t i = 1; i <= buf[0] && i < n; ++i)
      if (buf[i] < 0x80) l.name.push_back(static_cast<char>(buf[i]));
  }
  if (const auto t = modifiedTime(p)) l.since = localTime(*t);
  return l;
}

bool sameLock(const FileLock& a, const FileLock& b) {
  return a.kind == b.kind && a.name == b.name && a.host == b.host && a.since == b.since && a.file == b.file;
}

// A lock file of this program: the process that wrote it, or 0.
long ownPid(const ReadLock& r) {
  if (r.tag.rfind(kOwnTag, 0) != 0) return 0;
  return std::strtol(r.tag.c_str() + kOwnTag.size(), nullptr, 10);
}

// The lock files of the saves under way in this process.
std::mutex heldMutex;
std::set<fs::path> heldLockFiles;

bool heldHere(const fs::path& lockFile) {
  std::lock_guard<std::mutex> guard(heldMutex);
  return heldLockFiles.count(lockFile) != 0;
}

// Left by a copy of this program on this computer whose process has ended, or by a save of
// this process that could not remove it (its folder was out of reach for a moment, as a pulled
// USB stick's is).
bool ownAndStale(const ReadLock& r) {
  const long pid = ownPid(r);
  if (pid <= 0 || r.lock.host != hostName()) return false;
  if (pid == processId()) return !heldHere(r.lock.file);
  return processEnded(pid);
}

// Removes the lock file when it still holds the lock that was read.
bool removeIfSame(const FileLock& l) {
  std::optional<FileLock> now;
  if (l.kind == FileLock::Kind::LockFile) {
    if (auto r = readLockFile(l.file)) now = r->lock;
  } else if (l.kind == FileLock::Kind::OwnerFile) {
    now = readOwnerFile(l.file);
  }
  if (!now || !sameLock(*now, l)) return false;
  return removeFile(l.file);
}

std::string escapeField(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c == ',' || c == ';' || c == '\\') out.push_back('\\');
    out.push_back(c);
  }
  return out;
}

FileLock rangeLock(long pid) {
  FileLock l;
  l.kind = FileLock::Kind::Range;
  l.name = pid > 0 ? "process " + std::to_string(pid) : "another process";
  return l;
}

[[noreturn]] void throwHeld(const FileLock& l) {
  const std::string who = l.describe();
  throw WorkbookError("The workbook is open in another program" + (who.empty() ? std::string() : " (" + who + ")") +
                          "; close it there first.",
                      ErrorKind::Held, who);
}

// This program's lock for one save: the lock file, created exclusively, and an fcntl lock on
// the roster (an open-file-description lock, so closing other descriptors of the file while
// checking it does not drop it). Both go at destruction.
class SaveLock {
 public:
  // `wait`: wait briefly for another copy of this program; otherwise give up at once.
  SaveLock(const fs::path& file, bool wait) : lockFile_(lockFilePath(file)) {
    const auto deadline = Clock::now() + kWaitForOwnCopy;
    for (;;) {
      if (auto owner = readOwnerFile(ownerFilePath(file))) throwHeld(*owner);
      const std::string line = "Velquor," + escapeField(userName()) + "," + escapeField(hostName()) + "," +
                               localTime(std::time(nullptr)) + "," + kOwnTag + std::to_string(processId()) + ";";
      if (createLockFile(lockFile_, line)) {
        created_ = true;
        std::lock_guard<std::mutex> guard(heldMutex);
        heldLockFiles.insert(lockFile_);
        break;
      }
      const auto other = readLockFile(lockFile_);
      if (!other && Clock::now() < deadline) {
        // Removed in between: try again, without spinning on a file that cannot be read.
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        continue;
      }
      if (other && other->lock.name.empty() && other->tag.empty() && Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));  // made but not yet written
        continue;
      }
      if (!other) throwHeld(FileLock{FileLock::Kind::LockFile, "", "", "", lockFile_});
      if (ownAndStale(*other)) {
        removeIfSame(other->lock);
        continue;
      }
      if (wait && ownPid(*other) > 0 && Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        continue;
      }
      throwHeld(other->lock);
    }
    if (!wait) return;  // housekeeping only: the lock file is enough
    long holder = 0;
    try {
      handle_ = lockRoster(file, holder);
    } catch (...) {
      release();
      throw;
    }
    if (!handle_) {
      release();
      throwHeld(rangeLock(holder));
    }
  }
  ~SaveLock() { release(); }
  SaveLock(const SaveLock&) = delete;
  SaveLock& operator=(const SaveLock&) = delete;

  // Lets go of the roster itself before it is replaced (Windows renames over no open file,
  // not even one of ours); the lock file still holds it.
  void releaseRoster() {
    if (handle_) unlockRoster(*handle_);
    handle_.reset();
  }

 private:
  void release() {
    releaseRoster();
    if (created_) {
      removeFile(lockFile_);
      std::lock_guard<std::mutex> guard(heldMutex);
      heldLockFiles.erase(lockFile_);
    }
    created_ = false;
  }
  fs::path lockFile_;
  bool created_ = false;
  std::optional<NativeHandle> handle_;
};

// This program's temporary files beside `file` that no save holds (left by a crash).
std::vector<fs::path> leftoverTemps(const fs::path& file) {
  std::vector<fs::path> found;
  const std::string prefix = "." + file.filename().string() + ".velquor-";
  for (const fs::path& entry : folderEntries(file.parent_path())) {
    const std::string name = entry.filename().string();
    if (name.size() != prefix.size() + 12 || name.compare(0, prefix.size(), prefix) != 0 ||
        name.compare(name.size() - 4, 4, ".tmp") != 0)
      continue;
    const std::string hex = name.substr(prefix.size(), 8);
    if (hex.find_first_not_of("0123456789abcdef") != std::string::npos) continue;
    found.push_back(entry);
  }
  return found;
}

void removeLeftoverTemps(const std::vector<fs::path>& temps) {
  for (const fs::path& p : temps) removeIfUnheld(p);
}

}  // namespace

DiskFile::DiskFile(const std::filesystem::path& path, std::shared_ptr<FileOps> ops) : path_(path), ops_(std::move(ops)) {
  resolved_ = resolvePath(path);
}

Bytes DiskFile::load() {
  const FileInfo info = ops_->stat(resolved_);
  if (!info.exists) throw WorkbookError("The workbook \"" + path_.string() + "\" does not exist.", ErrorKind::NotFound);
  if (!info.regular)
    throw WorkbookError("The workbook \"" + path_.string() + "\" is not a regular file.", ErrorKind::NotRegular);
  known_ = ops_->readAll(resolved_, kMaxSize);
  if (ops_->onDisk()) {
    // Temporary files left by a crash: removed while holding the lock file, so that no save
    // of another copy of this program is under way.
    const auto temps = leftoverTemps(resolved_);
    if (!temps.empty()) {
      try {
        SaveLock lock(resolved_, false);
        removeLeftoverTemps(temps);
      } catch (const WorkbookError&) {
        // Held or not writable: the next save cleans up.
      }
    }
  }
  return known_;
}

FileLock DiskFile::lock() const {
  if (!attached() || !ops_->onDisk()) return {};
  const fs::path loLock = lockFilePath(resolved_);
  if (auto r = readLockFile(loLock)) {
    if (!ownAndStale(*r) || !removeIfSame(r->lock)) return r->lock;
  }
  if (auto owner = readOwnerFile(ownerFilePath(resolved_))) return *owner;
  if (const long pid = rangeLockHolder(resolved_)) return rangeLock(pid);
  return {};
}

bool DiskFile::removeStaleLock(const FileLock& lock) const {
  if (!lock.removable() || !attached()) return false;
  if (lock.file != lockFilePath(resolved_) && lock.file != ownerFilePath(resolved_)) return false;
  return removeIfSame(lock);
}

bool DiskFile::readOnly() const {
  if (!attached()) return true;
  if (!ops_->onDisk()) return false;
  if (lock().kind != FileLock::Kind::None) return true;
  const FileInfo info = ops_->stat(resolved_);
  return !userMayWrite(resolved_, info) || !folderWritable(resolved_.parent_path());
}

bool DiskFile::changedOnDisk() const {
  if (!attached()) return false;
  const FileInfo info = ops_->stat(resolved_);
  if (!info.exists || info.size != known_.size()) return true;
  // Same size: the content decides (a time kept by the other program, or too coarse to
  // show the change, proves nothing).
  if (!ops_->onDisk()) return ops_->readAll(resolved_, kMaxSize) != known_;
  return !sameContent(resolved_, known_);
}

void DiskFile::save(const Bytes& image, const std::function<void()>& replaced) {
  if (!attached()) throw WorkbookError("This workbook has no file to save to.");
  const FileInfo info = ops_->stat(resolved_);
  if (!info.exists)
    throw WorkbookError("The workbook file was removed or renamed since it was read; open it again.",
                        ErrorKind::ChangedOnDisk);
  if (!info.regular) throw WorkbookError("The workbook is not a regular file.", ErrorKind::NotRegular);
  const bool onDisk = ops_->onDisk();
  if (onDisk && !userMayWrite(resolved_, info))
    throw WorkbookError("名单文件是只读的，不能写入 (the workbook file is read-only).", ErrorKind::ReadOnly);
  std::optional<SaveLock> lock;
  if (onDisk) lock.emplace(resolved_, true);
  if (changedOnDisk())
    throw WorkbookError("The workbook was changed by another program since it was read; open it again.",
                        ErrorKind::ChangedOnDisk);
  if (onDisk) removeLeftoverTemps(leftoverTemps(resolved_));

  replaceFile(
      *ops_, resolved_, image.data(), image.size(),
      [&](int handle) {
        ops_->setPermissions(handle, info);
        // Windows renames over no open file, not even one of ours; the lock file still holds it.
        if (lock) lock->releaseRoster();
      },
      [&] {
        // The new file is in place.
        known_ = image;
        if (replaced) replaced();
      });
}

}  // namespace detail
}  // namespace velquor::roster

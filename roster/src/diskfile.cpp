#include "roster/src/diskfile.h"

#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <optional>
#include <thread>
#include <vector>

namespace velquor::roster {

std::string FileLock::describe() const {
  if (name.empty() || host.empty()) return name;
  return name + " (" + host + ", " + since + ")";
}

namespace detail {

std::string utf16ToUtf8(const std::u16string& s);  // read.cpp

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// How long a save waits for another copy of this program to finish its own save.
constexpr auto kWaitForOwnCopy = std::chrono::seconds(3);
// The last field of the lock files this program writes: where LibreOffice names its profile.
const std::string kOwnTag = "velquor-pid:";

fs::path lockFilePath(const fs::path& file) { return file.parent_path() / (".~lock." + file.filename().string() + "#"); }
fs::path ownerFilePath(const fs::path& file) { return file.parent_path() / ("~$" + file.filename().string()); }

// Looked up once: they do not change while the program runs.
const std::string& hostName() {
  static const std::string name = [] {
    char buf[256] = {};
    return ::gethostname(buf, sizeof buf - 1) == 0 ? std::string(buf) : std::string();
  }();
  return name;
}

const std::string& userName() {
  static const std::string name = [] {
    if (const passwd* pw = ::getpwuid(::geteuid())) return std::string(pw->pw_name);
    const char* u = std::getenv("USER");
    return std::string(u ? u : "");
  }();
  return name;
}

std::string localTime(std::time_t t) {
  std::tm tm{};
  ::localtime_r(&t, &tm);
  char buf[32];
  std::strftime(buf, sizeof buf, "%d.%m.%Y %H:%M", &tm);
  return buf;
}

// The start of a small file; nothing when it does not exist, "" when it exists but cannot be
// read (a lock that cannot be read still holds the file).
std::optional<std::string> readSmallFile(const fs::path& p, std::size_t max) {
  int fd = ::open(p.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW);
  if (fd < 0) {
    struct stat st {};
    if (::lstat(p.c_str(), &st) != 0) return std::nullopt;
    return std::string();
  }
  std::string s(max, '\0');
  ssize_t n = ::read(fd, s.data(), max);
  ::close(fd);
  s.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
  return s;
}

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
  struct stat st {};
  if (::stat(p.c_str(), &st) == 0) l.since = localTime(st.st_mtime);
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

// Left by a copy of this program on this computer whose process has ended.
bool ownAndStale(const ReadLock& r) {
  const long pid = ownPid(r);
  if (pid <= 0 || pid == ::getpid() || r.lock.host != hostName()) return false;
  return ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
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
  return ::unlink(l.file.c_str()) == 0 || errno == ENOENT;
}

std::string escapeField(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c == ',' || c == ';' || c == '\\') out.push_back('\\');
    out.push_back(c);
  }
  return out;
}

// A lock on the file itself taken by another process (its pid), or 0.
long rangeLockHolder(const fs::path& file) {
  int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return 0;
  struct flock fl {};
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  const bool locked = ::fcntl(fd, F_GETLK, &fl) == 0 && fl.l_type != F_UNLCK;
  ::close(fd);
  return locked ? (fl.l_pid > 0 ? fl.l_pid : -1) : 0;
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
      int fd = ::open(lockFile_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
      if (fd >= 0) {
        created_ = true;
        const std::string line = "Velquor," + escapeField(userName()) + "," + escapeField(hostName()) + "," +
                                 localTime(std::time(nullptr)) + "," + kOwnTag + std::to_string(::getpid()) + ";";
        const bool ok = ::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
        const int error = errno;
        ::close(fd);
        if (!ok) {
          release();
          throwSystemError("Cannot write the lock file", lockFile_, error);
        }
        break;
      }
      if (errno != EEXIST) throwSystemError("Cannot create the lock file", lockFile_, errno);
      const auto other = readLockFile(lockFile_);
      std::error_code sizeError;
      const bool empty = other && fs::file_size(lockFile_, sizeError) == 0 && !sizeError;
      if (!other || empty) {
        // Removed in between, or created by a program that is writing it now: wait a little.
        if (Clock::now() < deadline) {
          std::this_thread::sleep_for(std::chrono::milliseconds(2));
          continue;
        }
        // Still empty: left by a program killed between creating it and writing its line.
        if (empty && ::unlink(lockFile_.c_str()) == 0) continue;
        throwHeld(FileLock{FileLock::Kind::LockFile, "", "", "", lockFile_});
      }
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
    fd_ = ::open(file.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
    if (fd_ < 0) {
      const int error = errno;
      release();
      throw WorkbookError("Cannot open the workbook for writing \"" + file.string() + "\": " + std::strerror(error),
                          error == EACCES || error == EPERM ? ErrorKind::ReadOnly : errorKindOf(error));
    }
    struct flock fl {};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
#ifdef F_OFD_SETLK
    const int cmd = F_OFD_SETLK;
#else
    const int cmd = F_SETLK;
#endif
    if (::fcntl(fd_, cmd, &fl) != 0) {
      const long pid = rangeLockHolder(file);
      release();
      throwHeld(rangeLock(pid));
    }
  }
  ~SaveLock() { release(); }
  SaveLock(const SaveLock&) = delete;
  SaveLock& operator=(const SaveLock&) = delete;

 private:
  void release() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (created_) ::unlink(lockFile_.c_str());
    created_ = false;
  }
  fs::path lockFile_;
  bool created_ = false;
  int fd_ = -1;
};

// This program's temporary files beside `file` that no save holds (left by a crash).
std::vector<fs::path> leftoverTemps(const fs::path& file) {
  std::vector<fs::path> found;
  const std::string prefix = "." + file.filename().string() + ".velquor-";
  std::error_code ec;
  for (fs::directory_iterator it(file.parent_path(), ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.size() != prefix.size() + 12 || name.compare(0, prefix.size(), prefix) != 0 ||
        name.compare(name.size() - 4, 4, ".tmp") != 0)
      continue;
    const std::string hex = name.substr(prefix.size(), 8);
    if (hex.find_first_not_of("0123456789abcdef") != std::string::npos) continue;
    found.push_back(it->path());
  }
  return found;
}

void removeLeftoverTemps(const std::vector<fs::path>& temps) {
  for (const fs::path& p : temps) {
    int fd = ::open(p.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW);
    if (fd < 0) continue;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0) ::unlink(p.c_str());
    ::close(fd);
  }
}

// The file holds exactly `known`. Compared piece by piece: a large roster is not read into
// fresh memory at every save.
bool sameContent(const fs::path& file, const Bytes& known) {
  int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) throwSystemError("Cannot open", file, errno);
  std::uint8_t buf[65536];
  std::size_t at = 0;
  bool same = true;
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int error = errno;
      ::close(fd);
      throwSystemError("Cannot read", file, error);
    }
    if (n == 0) break;
    const auto got = static_cast<std::size_t>(n);
    if (got > known.size() - at || std::memcmp(buf, known.data() + at, got) != 0) {
      same = false;
      break;
    }
    at += got;
  }
  ::close(fd);
  return same && at == known.size();
}

// The user may write the file. The administrator may write anything, but a file marked
// read-only (no write permission for anybody) is meant to stay as it is, so it is honoured.
bool userMayWrite(const fs::path& file, const FileInfo& info) {
  if (::geteuid() == 0 && (info.mode & 0222) == 0) return false;
  return ::access(file.c_str(), W_OK) == 0;
}

}  // namespace

DiskFile::DiskFile(const std::filesystem::path& path, std::shared_ptr<FileOps> ops) : path_(path), ops_(std::move(ops)) {
  std::error_code ec;
  resolved_ = std::filesystem::weakly_canonical(path, ec);
  if (ec) resolved_ = path;
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
  return !userMayWrite(resolved_, info) || ::access(resolved_.parent_path().c_str(), W_OK) != 0;
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

  int handle = -1;
  bool open = false;
  std::filesystem::path tmp;
  try {
    tmp = ops_->createTemp(resolved_, handle);
    open = true;
    ops_->write(handle, image.data(), image.size());
    ops_->sync(handle);
    ops_->setPermissions(handle, info);
    open = false;
    ops_->close(handle);
    ops_->rename(tmp, resolved_);
  } catch (...) {
    if (open) {
      try {
        ops_->close(handle);
      } catch (...) {
      }
    }
    if (!tmp.empty()) ops_->remove(tmp);
    throw;
  }
  // The new file is in place.
  known_ = image;
  if (replaced) replaced();
  ops_->syncDirectory(resolved_.parent_path());
}

}  // namespace detail
}  // namespace velquor::roster

// The file-safety layer on POSIX systems: the calls of "roster/file/platform.h" and the real
// FileOps.
#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

#include "roster/file/platform.h"
#include "roster/file_ops.h"
#include "roster/workbook.h"

namespace velquor::roster {
namespace {

[[noreturn]] void failErrno(const std::string& what, const std::filesystem::path& path) {
  throwSystemError(what, path, errno);
}

[[noreturn]] void failErrno(const std::string& what) {
  const int error = errno;
  throw WorkbookError(what + std::strerror(error), errorKindOf(error));
}

class SystemFileOps final : public FileOps {
 public:
  explicit SystemFileOps(bool sync) : sync_(sync) {}

  std::vector<std::uint8_t> readAll(const std::filesystem::path& path, std::uintmax_t maxSize) override {
    // Without blocking: a FIFO or device named like the roster must not hang the program.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) failErrno("Cannot open", path);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
      ::close(fd);
      throw WorkbookError("Not a regular file: \"" + path.string() + "\"", ErrorKind::NotRegular);
    }
    if (static_cast<std::uintmax_t>(st.st_size) > maxSize) {
      ::close(fd);
      throw WorkbookError("The file is too large to be a roster: \"" + path.string() + "\"");
    }
    std::vector<std::uint8_t> data(static_cast<std::size_t>(st.st_size));
    std::size_t done = 0;
    while (done < data.size()) {
      ssize_t n = ::read(fd, data.data() + done, data.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        ::close(fd);
        failErrno("Cannot read", path);
      }
      if (n == 0) break;
      done += static_cast<std::size_t>(n);
    }
    data.resize(done);
    ::close(fd);
    return data;
  }

  FileInfo stat(const std::filesystem::path& path) override {
    FileInfo info;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
      if (errno == ENOENT) return info;
      failErrno("Cannot examine", path);
    }
    info.exists = true;
    info.regular = S_ISREG(st.st_mode);
    info.size = static_cast<std::uintmax_t>(st.st_size);
    info.mtimeNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    info.mode = st.st_mode & 07777;
    info.uid = st.st_uid;
    info.gid = st.st_gid;
    return info;
  }

  std::filesystem::path createTemp(const std::filesystem::path& target, int& handle) override {
    static thread_local std::mt19937_64 rng{std::random_device{}()};
    for (int attempt = 0; attempt < 100; ++attempt) {
      char suffix[16];
      std::snprintf(suffix, sizeof suffix, "%08llx", static_cast<unsigned long long>(rng() & 0xFFFFFFFFull));
      std::filesystem::path tmp = target.parent_path() / ("." + target.filename().string() + ".velquor-" + suffix + ".tmp");
      int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
      if (fd >= 0) {
        ::flock(fd, LOCK_EX | LOCK_NB);  // a fresh file: nobody else can hold it yet
        handle = fd;
        return tmp;
      }
      if (errno != EEXIST) failErrno("Cannot create a file next to", target);
    }
    throw WorkbookError("Cannot create a temporary file next to \"" + target.string() + "\"");
  }

  void write(int handle, const std::uint8_t* data, std::size_t size) override {
    std::size_t done = 0;
    while (done < size) {
      ssize_t n = ::write(handle, data + done, size - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) failErrno("Cannot write the workbook: ");
      done += static_cast<std::size_t>(n);
    }
  }

  void sync(int handle) override {
    if (sync_ && ::fsync(handle) != 0) failErrno("Cannot flush the workbook to disk: ");
  }

  void setPermissions(int handle, const FileInfo& like) override {
    // Owner and group are kept where allowed (as root, or an unchanged owner); the mode always.
    if (::fchown(handle, like.uid, like.gid) != 0) {
      // Not permitted for an ordinary user changing ownership: the file stays ours.
    }
    if (::fchmod(handle, like.mode) != 0) failErrno("Cannot set the workbook's permissions: ");
  }

  void close(int handle) override {
    if (::close(handle) != 0) failErrno("Cannot close the workbook: ");
  }

  void rename(const std::filesystem::path& from, const std::filesystem::path& to) override {
    if (::rename(from.c_str(), to.c_str()) != 0) failErrno("Cannot replace", to);
  }

  void syncDirectory(const std::filesystem::path& dir) override {
    if (!sync_) return;
    int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) failErrno("Cannot open the folder", dir);
    int rc = ::fsync(fd);
    int err = errno;
    ::close(fd);
    // Some file systems cannot flush a folder; the rename is then as durable as they allow.
    if (rc != 0 && err != EINVAL && err != ENOTSUP) {
      errno = err;
      failErrno("Cannot flush the folder", dir);
    }
  }

  void remove(const std::filesystem::path& path) noexcept override { ::unlink(path.c_str()); }

 private:
  bool sync_;
};

}  // namespace

std::shared_ptr<FileOps> systemFileOps(bool syncToDisk) { return std::make_shared<SystemFileOps>(syncToDisk); }

namespace detail::platform {

fs::path resolvePath(const fs::path& p) {
  std::error_code ec;
  fs::path resolved = fs::weakly_canonical(p, ec);
  return ec ? p : resolved;
}

std::vector<fs::path> folderEntries(const fs::path& dir) {
  std::vector<fs::path> entries;
  std::error_code ec;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) entries.push_back(it->path());
  return entries;
}

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

long processId() { return static_cast<long>(::getpid()); }

bool processEnded(long pid) { return ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH; }

std::string localTime(std::time_t t) {
  std::tm tm{};
  ::localtime_r(&t, &tm);
  char buf[32];
  std::strftime(buf, sizeof buf, "%d.%m.%Y %H:%M", &tm);
  return buf;
}

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

std::optional<std::time_t> modifiedTime(const fs::path& p) {
  struct stat st {};
  if (::stat(p.c_str(), &st) != 0) return std::nullopt;
  return st.st_mtime;
}

bool removeFile(const fs::path& p) { return ::unlink(p.c_str()) == 0 || errno == ENOENT; }

bool createLockFile(const fs::path& p, const std::string& text) {
  int fd = ::open(p.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (fd < 0) {
    if (errno == EEXIST) return false;
    throwSystemError("Cannot create the lock file", p, errno);
  }
  const bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  const int error = errno;
  ::close(fd);
  if (!ok) {
    ::unlink(p.c_str());
    throwSystemError("Cannot write the lock file", p, error);
  }
  return true;
}

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

// An fcntl lock of the open file description, so that closing other descriptors of the file
// while checking it does not drop it.
std::optional<NativeHandle> lockRoster(const fs::path& file, long& holder) {
  int fd = ::open(file.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    const int error = errno;
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
  if (::fcntl(fd, cmd, &fl) != 0) {
    holder = rangeLockHolder(file);
    ::close(fd);
    return std::nullopt;
  }
  return fd;
}

void unlockRoster(NativeHandle handle) { ::close(static_cast<int>(handle)); }

void removeIfUnheld(const fs::path& temp) {
  int fd = ::open(temp.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW);
  if (fd < 0) return;
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0) ::unlink(temp.c_str());
  ::close(fd);
}

bool sameContent(const fs::path& file, const std::vector<std::uint8_t>& known) {
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

// The administrator may write anything, but a file marked read-only (no write permission for
// anybody) is meant to stay as it is, so it is honoured.
bool userMayWrite(const fs::path& file, const FileInfo& info) {
  if (::geteuid() == 0 && (info.mode & 0222) == 0) return false;
  return ::access(file.c_str(), W_OK) == 0;
}

bool folderWritable(const fs::path& dir) { return ::access(dir.c_str(), W_OK) == 0; }

}  // namespace detail::platform
}  // namespace velquor::roster

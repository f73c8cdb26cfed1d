#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>

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

ErrorKind errorKindOf(int error) {
  switch (error) {
    case ENOSPC:
    case EDQUOT: return ErrorKind::DiskFull;
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

std::shared_ptr<FileOps> systemFileOps(bool syncToDisk) { return std::make_shared<SystemFileOps>(syncToDisk); }

}  // namespace velquor::roster

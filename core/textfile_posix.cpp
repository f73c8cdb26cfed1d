// Replacing a text file on the POSIX systems: write, fsync, rename, fsync the folder.
#include <fcntl.h>
#include <unistd.h>

#include <stdexcept>

#include "core/filepath.h"
#include "core/textfile.h"

namespace velquor {

void replaceTextFile(const std::filesystem::path& path, const std::string& content) {
  std::error_code ec;
  if (content.empty()) {
    std::filesystem::remove(path, ec);
    if (ec) throw std::runtime_error("cannot remove " + utf8FromPath(path));
    return;
  }
  std::filesystem::create_directories(path.parent_path(), ec);
  const std::filesystem::path temp = utf8FromPath(path) + ".tmp";
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) throw std::runtime_error("cannot create " + utf8FromPath(temp));
  std::size_t done = 0;
  bool ok = true;
  while (ok && done < content.size()) {
    const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
    if (n <= 0) ok = false;
    else done += static_cast<std::size_t>(n);
  }
  ok = ::fsync(fd) == 0 && ok;
  ok = ::close(fd) == 0 && ok;
  if (!ok || ::rename(temp.c_str(), path.c_str()) != 0) {
    ::unlink(temp.c_str());
    throw std::runtime_error("cannot write " + utf8FromPath(path));
  }
  const int dir = ::open(path.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
}

}  // namespace velquor

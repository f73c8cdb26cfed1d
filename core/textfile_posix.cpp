// Replacing a text file of the program on POSIX systems: a temporary file beside it, flushed,
// renamed over it, and the folder flushed.
#include <fcntl.h>
#include <unistd.h>

#include <stdexcept>

#include "core/textfile.h"

namespace velquor {

void replaceTextFile(const std::filesystem::path& path, const std::string& content) {
  std::error_code ec;
  if (content.empty()) {
    std::filesystem::remove(path, ec);
    if (ec) throw std::runtime_error("cannot remove " + path.string());
    return;
  }
  std::filesystem::create_directories(path.parent_path(), ec);
  const std::filesystem::path temp = path.string() + ".tmp";
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) throw std::runtime_error("cannot create " + temp.string());
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
    throw std::runtime_error("cannot write " + path.string());
  }
  const int dir = ::open(path.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
}

}  // namespace velquor

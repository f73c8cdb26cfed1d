// Replacing a text file on the POSIX systems: write, fsync, rename, fsync the folder.
#include <fcntl.h>
#include <unistd.h>

#include <stdexcept>

#include "core/filepath.h"
#include "core/textfile_platform.h"

namespace velquor {

namespace {

class TextFileCalls final : public ReplaceCalls {
 public:
  explicit TextFileCalls(const std::filesystem::path& path) : path_(path) {}
  std::filesystem::path createTemp(const std::filesystem::path& target, int& handle) override {
    const std::filesystem::path temp = target.native() + ".tmp";
    handle = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (handle < 0) throw std::runtime_error("cannot create " + utf8FromPath(temp));
    return temp;
  }
  void write(int handle, const std::uint8_t* data, std::size_t size) override {
    for (std::size_t done = 0; done < size;) {
      const ssize_t n = ::write(handle, data + done, size - done);
      if (n <= 0) fail();
      done += static_cast<std::size_t>(n);
    }
  }
  void sync(int handle) override {
    if (::fsync(handle) != 0) fail();
  }
  void close(int handle) override {
    if (::close(handle) != 0) fail();
  }
  void rename(const std::filesystem::path& from, const std::filesystem::path& to) override {
    if (::rename(from.c_str(), to.c_str()) != 0) fail();
  }
  void syncDirectory(const std::filesystem::path& dir) override {
    // Best effort: the file is in place either way.
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
      ::fsync(fd);
      ::close(fd);
    }
  }
  void remove(const std::filesystem::path& path) noexcept override { ::unlink(path.c_str()); }

 private:
  [[noreturn]] void fail() const { throw std::runtime_error("cannot write " + utf8FromPath(path_)); }
  std::filesystem::path path_;
};

}  // namespace

std::unique_ptr<ReplaceCalls> textFileCalls(const std::filesystem::path& path) {
  return std::make_unique<TextFileCalls>(path);
}

}  // namespace velquor

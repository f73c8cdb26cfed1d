#include "core/textfile.h"

#include <fcntl.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <stdexcept>

#include "core/replacefile.h"

namespace velquor {

std::string escapedField(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      default: out += c;
    }
  }
  return out;
}

std::vector<std::string> splitFields(std::string_view line) {
  std::vector<std::string> fields(1);
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (c == '\t') {
      fields.emplace_back();
    } else if (c == '\\' && i + 1 < line.size()) {
      const char n = line[++i];
      fields.back() += n == 't' ? '\t' : n == 'n' ? '\n' : n == 'r' ? '\r' : n;
    } else {
      fields.back() += c;
    }
  }
  return fields;
}

std::vector<std::string_view> completeLines(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  for (std::size_t end = text.find('\n'); end != std::string_view::npos; end = text.find('\n', start)) {
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

std::optional<std::string> readTextFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

namespace {

// The calls of replacing a text file: one temporary name beside it ("NAME.tmp"), since only this
// program writes there; every failure is "cannot write".
class TextFileCalls final : public ReplaceCalls {
 public:
  explicit TextFileCalls(const std::filesystem::path& path) : path_(path) {}
  std::filesystem::path createTemp(const std::filesystem::path& target, int& handle) override {
    const std::filesystem::path temp = target.string() + ".tmp";
    handle = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (handle < 0) throw std::runtime_error("cannot create " + temp.string());
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
  [[noreturn]] void fail() const { throw std::runtime_error("cannot write " + path_.string()); }
  std::filesystem::path path_;
};

}  // namespace

void replaceTextFile(const std::filesystem::path& path, const std::string& content) {
  std::error_code ec;
  if (content.empty()) {
    std::filesystem::remove(path, ec);
    if (ec) throw std::runtime_error("cannot remove " + path.string());
    return;
  }
  std::filesystem::create_directories(path.parent_path(), ec);
  TextFileCalls calls(path);
  replaceFile(calls, path, reinterpret_cast<const std::uint8_t*>(content.data()), content.size());
}

}  // namespace velquor

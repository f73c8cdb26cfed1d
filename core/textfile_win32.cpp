// Replacing a text file on Windows: written and flushed to the disk under a temporary name,
// then moved over the old file in one step (MoveFileExW, written through, which also flushes
// the folder's entry). Handles are the C library's descriptors of the Win32 handles.
#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <stdexcept>

#include "core/filepath.h"
#include "core/textfile_platform.h"

namespace velquor {

namespace {

class TextFileCalls final : public ReplaceCalls {
 public:
  explicit TextFileCalls(const std::filesystem::path& path) : path_(path) {}
  std::filesystem::path createTemp(const std::filesystem::path& target, int& handle) override {
    const std::filesystem::path temp = target.native() + L".tmp";
    HANDLE file = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot create " + utf8FromPath(temp));
    handle = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_BINARY);
    if (handle < 0) {
      CloseHandle(file);
      DeleteFileW(temp.c_str());
      fail();
    }
    return temp;
  }
  void write(int handle, const std::uint8_t* data, std::size_t size) override {
    HANDLE file = win(handle);
    for (std::size_t done = 0; done < size;) {
      DWORD written = 0;
      const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size - done, 1u << 30));
      if (!WriteFile(file, data + done, chunk, &written, nullptr) || written == 0) fail();
      done += written;
    }
  }
  void sync(int handle) override {
    if (!FlushFileBuffers(win(handle))) fail();
  }
  void close(int handle) override {
    if (_close(handle) != 0) fail();
  }
  void rename(const std::filesystem::path& from, const std::filesystem::path& to) override {
    if (!MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) fail();
  }
  void syncDirectory(const std::filesystem::path&) override {}
  void remove(const std::filesystem::path& path) noexcept override { DeleteFileW(path.c_str()); }

 private:
  static HANDLE win(int handle) { return reinterpret_cast<HANDLE>(_get_osfhandle(handle)); }
  [[noreturn]] void fail() const { throw std::runtime_error("cannot write " + utf8FromPath(path_)); }
  std::filesystem::path path_;
};

}  // namespace

std::unique_ptr<ReplaceCalls> textFileCalls(const std::filesystem::path& path) {
  return std::make_unique<TextFileCalls>(path);
}

}  // namespace velquor

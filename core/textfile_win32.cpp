// Replacing a text file on Windows: written and flushed to the disk under a temporary name,
// then moved over the old file in one step (MoveFileExW, written through).
#include <windows.h>

#include <algorithm>
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
  const std::filesystem::path temp = path.native() + L".tmp";
  HANDLE file = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot create " + utf8FromPath(temp));
  std::size_t done = 0;
  bool ok = true;
  while (ok && done < content.size()) {
    DWORD written = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(content.size() - done, 1u << 30));
    ok = WriteFile(file, content.data() + done, chunk, &written, nullptr) && written > 0;
    done += written;
  }
  ok = FlushFileBuffers(file) && ok;
  ok = CloseHandle(file) && ok;
  if (!ok || !MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    DeleteFileW(temp.c_str());
    throw std::runtime_error("cannot write " + utf8FromPath(path));
  }
}

}  // namespace velquor

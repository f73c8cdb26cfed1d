// Replacing a text file of the program on Windows: a temporary file beside it, flushed, and
// moved over it with write-through (the move returns once it is on the disk).
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
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
  std::filesystem::path temp = path;
  temp += L".tmp";
  HANDLE h = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot create " + temp.string());
  std::size_t done = 0;
  bool ok = true;
  while (ok && done < content.size()) {
    DWORD put = 0;
    const auto want = static_cast<DWORD>(std::min<std::size_t>(content.size() - done, 1u << 24));
    ok = WriteFile(h, content.data() + done, want, &put, nullptr) && put > 0;
    done += put;
  }
  ok = FlushFileBuffers(h) && ok;
  ok = CloseHandle(h) && ok;
  if (!ok || !MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    DeleteFileW(temp.c_str());
    throw std::runtime_error("cannot write " + path.string());
  }
}

}  // namespace velquor

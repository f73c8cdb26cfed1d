// Replacing a file safely: the new content goes to a temporary file beside it, is flushed and
// renamed over the old one, and the folder is flushed; a crash leaves the old file or the new
// one. The one way the program replaces its files (the roster's disk file, the small text
// files it keeps), each with the file-system calls of its own behind ReplaceCalls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>

namespace velquor {

// The file-system calls of a replacement; each throws on failure, except remove().
class ReplaceCalls {
 public:
  virtual ~ReplaceCalls() = default;
  // Creates a new, empty file next to `target` and returns its path; `handle` identifies it.
  virtual std::filesystem::path createTemp(const std::filesystem::path& target, int& handle) = 0;
  virtual void write(int handle, const std::uint8_t* data, std::size_t size) = 0;
  virtual void sync(int handle) = 0;
  virtual void close(int handle) = 0;
  virtual void rename(const std::filesystem::path& from, const std::filesystem::path& to) = 0;
  virtual void syncDirectory(const std::filesystem::path& dir) = 0;
  // Best effort, never throws.
  virtual void remove(const std::filesystem::path& path) noexcept = 0;
};

// Writes `data` to a temporary file beside `target`, flushes it, lets `finish(handle)` complete
// it (permissions, say), closes it and renames it over `target`; then runs `replaced` (the file
// is the new one) and flushes the folder, whose failure is still thrown. Any failure before
// the rename removes the temporary file and leaves `target` as it was.
void replaceFile(ReplaceCalls& calls, const std::filesystem::path& target, const std::uint8_t* data, std::size_t size,
                 const std::function<void(int handle)>& finish = {}, const std::function<void()>& replaced = {});

}  // namespace velquor

// The file under a roster workbook, whatever its format: reading it, noticing other programs
// (their locks, their edits) and replacing it safely. A format only produces the bytes of the
// new file; every step that touches the disk is here.
//
// Contract:
// - load() reads a regular file only (symlinks followed), opened without blocking, whole, and
//   remembers its content; anything else is refused (ErrorKind::NotFound, NotRegular, ...).
// - readOnly(): another program holds the file, or this user may not write it (no write
//   permission, a file marked read-only even for the administrator, a folder that refuses).
// - changedOnDisk(): the content differs from what was read or last saved (compared byte for
//   byte whenever the size matches, so an edit that kept size and time is still seen).
// - save(image): refused for a read-only file (ErrorKind::ReadOnly), a held one (Held), a
//   changed one (ChangedOnDisk). Otherwise, for the whole check-write-rename window, it holds
//   this program's lock: a ".~lock.NAME#" file created exclusively (the format LibreOffice
//   reads and honours), and until the rename a lock on the file itself (fcntl; LockFileEx on
//   Windows, where a sharing violation also tells that Excel or WPS holds it). A copy of this
//   program holding the lock is waited for briefly. The image goes to a locked temporary file
//   beside the roster, is flushed, given the roster's permissions (Windows: attributes,
//   creation time, ACL) and renamed over it in one step; the folder is flushed last.
//   `replaced` runs right after the rename (the file is then the new one), before the folder
//   flush whose failure is still reported. Any failure before the rename leaves the file as
//   it was. Temporary files of this program that no live save holds are removed at load() and
//   at every save().
#pragma once

#include <filesystem>
#include <functional>
#include <memory>

#include "roster/file_ops.h"
#include "roster/cell/bytes.h"
#include "roster/workbook.h"

namespace velquor::roster::detail {

class DiskFile {
 public:
  static constexpr std::uintmax_t kMaxSize = std::uintmax_t{256} << 20;

  DiskFile() = default;  // no file: an image in memory, never saved
  DiskFile(const std::filesystem::path& path, std::shared_ptr<FileOps> ops);

  // Reads the file; throws WorkbookError.
  Bytes load();
  bool attached() const { return ops_ != nullptr; }
  const std::filesystem::path& path() const { return path_; }
  const std::filesystem::path& resolved() const { return resolved_; }
  const std::shared_ptr<FileOps>& ops() const { return ops_; }
  // The content as read or last saved.
  const Bytes& content() const { return known_; }

  bool readOnly() const;
  FileLock lock() const;
  bool removeStaleLock(const FileLock& lock) const;
  bool changedOnDisk() const;
  void save(const Bytes& image, const std::function<void()>& replaced = {});

 private:
  std::filesystem::path path_, resolved_;
  std::shared_ptr<FileOps> ops_;
  Bytes known_;  // the content as read or last saved
};

}  // namespace velquor::roster::detail

// The file-system calls of opening and saving a workbook, behind an interface so that tests can
// make any single step fail and check that the original file survives.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/replacefile.h"

namespace velquor::roster {

enum class ErrorKind;

struct FileInfo {
  bool exists = false;
  bool regular = false;
  std::uintmax_t size = 0;
  std::int64_t mtimeNs = 0;
  unsigned mode = 0;  // permission bits (Windows: the file attributes)
  unsigned uid = 0, gid = 0;
  std::int64_t createdNs = 0;  // when the file was made, where the system keeps that (Windows)
};

// Every call throws WorkbookError on failure. A save replaces the file through replaceFile()
// with the calls inherited from ReplaceCalls.
class FileOps : public ReplaceCalls {
 public:
  virtual std::vector<std::uint8_t> readAll(const std::filesystem::path& path, std::uintmax_t maxSize) = 0;
  virtual FileInfo stat(const std::filesystem::path& path) = 0;
  // createTemp(): the real one names the file ".NAME.velquor-XXXXXXXX.tmp" and locks it (flock)
  // until closed, so that a temporary file nobody holds is known to be left over from a crash.
  virtual void setPermissions(int handle, const FileInfo& like) = 0;
  // False for a file kept in memory: there is then no folder to hold lock files, no other
  // program to share it with and no permission to check.
  virtual bool onDisk() const { return true; }
};

// The kind of failure a failed system call's errno stands for.
ErrorKind errorKindOf(int errnoValue);
// Throws WorkbookError "WHAT "PATH": reason" of the kind errno value `error` stands for.
[[noreturn]] void throwSystemError(const std::string& what, const std::filesystem::path& path, int error);

// The real POSIX implementation. `syncToDisk` false skips the fsync calls (benchmarks only).
std::shared_ptr<FileOps> systemFileOps(bool syncToDisk = true);

}  // namespace velquor::roster

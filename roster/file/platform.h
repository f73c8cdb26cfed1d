// What the file-safety layer asks of the operating system. diskfile.cpp holds the steps of
// loading, locking and saving, the same everywhere; one file per platform implements these
// calls (diskfile_posix.cpp, diskfile_win32.cpp; the build picks one) together with
// systemFileOps() of "roster/file_ops.h".
#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "roster/file_ops.h"

namespace velquor::roster::detail::platform {

namespace fs = std::filesystem;

// An open file of the platform (a descriptor, a handle).
using NativeHandle = std::intptr_t;

// Looked up once: they do not change while the program runs.
const std::string& hostName();
const std::string& userName();
long processId();
// A process of this computer that has ended (it cannot be signalled or opened: it does not exist).
bool processEnded(long pid);
// Local time as lock files write it: "DD.MM.YYYY HH:MM".
std::string localTime(std::time_t t);

// The path a roster is known by: absolute, with a symbolic link to the file followed (its lock
// and temporary files belong beside the file itself).
fs::path resolvePath(const fs::path& p);
// The entries of a folder (none when it cannot be read).
std::vector<fs::path> folderEntries(const fs::path& dir);

// The start of a small file, opened without blocking or following a link; nothing when it does
// not exist, "" when it exists but cannot be read.
std::optional<std::string> readSmallFile(const fs::path& p, std::size_t max);
// When the file was last modified; nothing when it cannot be examined.
std::optional<std::time_t> modifiedTime(const fs::path& p);
// Removes the file; true when it is gone (also when it was not there).
bool removeFile(const fs::path& p);

// Creates the lock file `p` exclusively (never following a link) holding `text`. False when
// it exists already; throws WorkbookError for any other failure, leaving no file behind.
bool createLockFile(const fs::path& p, const std::string& text);

// Opens the roster for writing and takes a lock on it that other processes see, held until
// unlockRoster(). Nothing when another process holds a lock on it: `holder` is then that
// process (its id, -1 when unknown). Throws WorkbookError (ReadOnly when the user may not write
// it) when it cannot be opened.
std::optional<NativeHandle> lockRoster(const fs::path& file, long& holder);
void unlockRoster(NativeHandle handle);
// A lock another process holds on the file itself: its id, -1 when unknown, 0 when none.
long rangeLockHolder(const fs::path& file);

// Removes a temporary file of this program when no save holds it (a crash left it).
void removeIfUnheld(const fs::path& temp);
// The file holds exactly `known`, compared piece by piece (a large roster is not read into
// fresh memory at every save). Throws WorkbookError when it cannot be read.
bool sameContent(const fs::path& file, const std::vector<std::uint8_t>& known);
// The user may write the file (`info`: its stat()), and the folder holding it.
bool userMayWrite(const fs::path& file, const FileInfo& info);
bool folderWritable(const fs::path& dir);

}  // namespace velquor::roster::detail::platform

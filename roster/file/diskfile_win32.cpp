// The file-safety layer on Windows: the calls of "roster/file/platform.h" and the real FileOps,
// through the wide Win32 calls only (paths stay UTF-16 from std::filesystem::path to the
// system; no conversion through the ANSI code page).
//
// Other programs: Excel and WPS keep an open workbook open with writing denied to others, so
// opening the roster for writing fails with a sharing violation while they hold it; this
// program's own lock is a LockFileEx lock on one byte far past the end of the roster (locks on
// Windows are mandatory: a lock on the data would stop other programs from reading it).
// Saving: a hidden temporary file beside the roster, flushed, given the roster's attributes,
// creation time and ACL, then renamed over it in one step (see renameByHandle).
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <aclapi.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <random>

#include "roster/file/platform.h"
#include "roster/file_ops.h"
#include "roster/workbook.h"

namespace velquor::roster {
namespace {

namespace fs = std::filesystem;

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// Where this program locks the roster: one byte no roster reaches.
constexpr std::uint64_t kLockOffset = std::uint64_t{1} << 62;

std::string utf8(const std::wstring& w) {
  if (w.empty()) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
  return s;
}

bool startsWith(const std::wstring& s, const wchar_t* prefix) { return s.rfind(prefix, 0) == 0; }

// The path as the wide calls take it: backslashes, and an absolute path that reaches MAX_PATH
// in the extended form ("\\?\C:\...", "\\?\UNC\server\share\..."), which has no length limit.
std::wstring winPath(const fs::path& p) {
  std::wstring w = p.wstring();
  for (wchar_t& c : w)
    if (c == L'/') c = L'\\';
  if (w.size() < MAX_PATH - 12 || startsWith(w, L"\\\\?\\") || startsWith(w, L"\\\\.\\")) return w;
  const DWORD n = GetFullPathNameW(w.c_str(), 0, nullptr, nullptr);
  if (n == 0) return w;
  std::wstring full(n, L'\0');
  const DWORD got = GetFullPathNameW(w.c_str(), n, full.data(), nullptr);
  if (got == 0 || got >= n) return w;
  full.resize(got);
  if (startsWith(full, L"\\\\?\\") || startsWith(full, L"\\\\.\\")) return full;
  if (startsWith(full, L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

ErrorKind kindOfWin32(DWORD e) {
  switch (e) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_UNIT:
    case ERROR_NOT_READY:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_BAD_NETPATH:
    case ERROR_NETNAME_DELETED:
    case ERROR_BAD_NET_NAME:
    case ERROR_UNEXP_NET_ERR:
    case ERROR_NO_MEDIA_IN_DRIVE:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEVICE_REMOVED: return ErrorKind::NotFound;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
    case 1295: return ErrorKind::DiskFull;  // ERROR_DISK_QUOTA_EXCEEDED
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
    case ERROR_NETWORK_ACCESS_DENIED:
    case ERROR_PRIVILEGE_NOT_HELD: return ErrorKind::NoPermission;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_USER_MAPPED_FILE:
    case ERROR_UNABLE_TO_REMOVE_REPLACED: return ErrorKind::Held;
    default: return ErrorKind::Other;
  }
}

std::string win32Message(DWORD e) {
  wchar_t* buf = nullptr;
  const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, e, 0, reinterpret_cast<wchar_t*>(&buf), 0, nullptr);
  std::wstring text = n && buf ? std::wstring(buf, n) : std::wstring();
  if (buf) LocalFree(buf);
  while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ' || text.back() == L'.'))
    text.pop_back();
  return (text.empty() ? std::string("system error") : utf8(text)) + " (" + std::to_string(e) + ")";
}

[[noreturn]] void failWin32(const std::string& what, const fs::path& path, DWORD e) {
  throw WorkbookError(what + " \"" + path.string() + "\": " + win32Message(e), kindOfWin32(e));
}

[[noreturn]] void failWin32(const std::string& what, DWORD e) {
  throw WorkbookError(what + win32Message(e), kindOfWin32(e));
}

// Handles travel through FileOps as int: the system's handles have 32 significant bits, so
// that 32-bit and 64-bit processes can share them.
int toInt(HANDLE h) { return static_cast<int>(reinterpret_cast<std::intptr_t>(h)); }
HANDLE toHandle(int h) { return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(h)); }

class Handle {
 public:
  explicit Handle(HANDLE h = INVALID_HANDLE_VALUE) : h_(h) {}
  ~Handle() {
    if (valid()) CloseHandle(h_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  bool valid() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
  HANDLE get() const { return h_; }
  HANDLE release() {
    HANDLE h = h_;
    h_ = INVALID_HANDLE_VALUE;
    return h;
  }

 private:
  HANDLE h_;
};

HANDLE openFile(const fs::path& p, DWORD access, DWORD share, DWORD disposition, DWORD flags) {
  return CreateFileW(winPath(p).c_str(), access, share, nullptr, disposition, flags, nullptr);
}

// A name no file of a folder can have on Windows, because the system means a device by it
// ("CON", "nul.xls", "COM1", ...), or a path into the device namespace ("\\.\pipe\...").
bool deviceName(const fs::path& p) {
  const std::wstring w = p.wstring();
  if (startsWith(w, L"\\\\.\\") || startsWith(w, L"\\\\?\\GLOBALROOT")) return true;
  std::wstring stem = p.filename().wstring();
  stem = stem.substr(0, stem.find(L'.'));
  while (!stem.empty() && (stem.back() == L' ' || stem.back() == L':')) stem.pop_back();
  for (wchar_t& c : stem) c = static_cast<wchar_t>(towupper(c));
  if (stem == L"CON" || stem == L"PRN" || stem == L"AUX" || stem == L"NUL" || stem == L"CONIN$" || stem == L"CONOUT$")
    return true;
  return stem.size() == 4 && (stem.compare(0, 3, L"COM") == 0 || stem.compare(0, 3, L"LPT") == 0) && stem[3] >= L'1' &&
         stem[3] <= L'9';
}

bool present(const fs::path& p) { return GetFileAttributesW(winPath(p).c_str()) != INVALID_FILE_ATTRIBUTES; }

std::int64_t ticks(const FILETIME& t) {
  return static_cast<std::int64_t>((static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
}

// Reads all of an open file into `out`, at most `max` bytes.
bool readHandle(HANDLE h, std::vector<std::uint8_t>& out, std::size_t max) {
  std::size_t done = 0;
  while (done < out.size() && done < max) {
    DWORD got = 0;
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(out.size() - done, 1u << 24));
    if (!ReadFile(h, out.data() + done, want, &got, nullptr)) return false;
    if (got == 0) break;
    done += got;
  }
  out.resize(done);
  return true;
}

// The new file takes the roster's place in one step, as rename(2) does: FileRenameInfoEx with
// POSIX semantics replaces the roster even while other programs have it open (with delete
// sharing, as every reader of this program opens it). 0 or the error.
//
// Not ReplaceFileW: it is not one step. It documents outcomes where the roster is gone from
// its name after a failure, and Wine's moves the roster aside before moving the new file in,
// so a save killed in between would leave no roster. What it would keep (attributes, creation
// time, ACL) is given to the new file before the rename (setPermissions, copyAccessControl).
DWORD renameByHandle(const fs::path& from, const fs::path& to) {
  Handle h(openFile(from, DELETE | SYNCHRONIZE, kShareAll, OPEN_EXISTING, 0));
  if (!h.valid()) return GetLastError();
  std::wstring target = winPath(to);
  if (startsWith(target, L"\\\\?\\")) target = L"\\??\\" + target.substr(4);  // the system's own form of the path
  else if (startsWith(target, L"\\\\")) target = L"\\??\\UNC\\" + target.substr(2);
  else target = L"\\??\\" + target;
  struct Rename {  // FILE_RENAME_INFO of Windows 10 1607 and later, with its flags
    DWORD flags;
    HANDLE root;
    DWORD length;
    WCHAR name[1];
  };
  std::vector<std::uint8_t> buf(sizeof(Rename) + target.size() * sizeof(WCHAR));
  auto* info = reinterpret_cast<Rename*>(buf.data());
  info->flags = 0x1 | 0x2;  // FILE_RENAME_FLAG_REPLACE_IF_EXISTS | FILE_RENAME_FLAG_POSIX_SEMANTICS
  info->root = nullptr;
  info->length = static_cast<DWORD>(target.size() * sizeof(WCHAR));
  std::memcpy(info->name, target.data(), info->length);
  constexpr auto kFileRenameInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(22);
  if (!SetFileInformationByHandle(h.get(), kFileRenameInfoEx, info, static_cast<DWORD>(buf.size()))) return GetLastError();
  return 0;
}

// The roster's own access list for the new file, which would otherwise get the folder's
// inherited one. Best effort, as ReplaceFileW's REPLACEFILE_IGNORE_ACL_ERRORS: a file system
// without access lists (FAT sticks) has none to keep.
void copyAccessControl(const fs::path& from, const fs::path& to) {
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR sd = nullptr;
  std::wstring source = winPath(from), target = winPath(to);
  if (GetNamedSecurityInfoW(source.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr,
                            &sd) != ERROR_SUCCESS)
    return;
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  GetSecurityDescriptorControl(sd, &control, &revision);
  const SECURITY_INFORMATION what =
      DACL_SECURITY_INFORMATION |
      ((control & SE_DACL_PROTECTED) ? PROTECTED_DACL_SECURITY_INFORMATION : UNPROTECTED_DACL_SECURITY_INFORMATION);
  if (dacl) SetNamedSecurityInfoW(target.data(), SE_FILE_OBJECT, what, nullptr, nullptr, dacl, nullptr);
  LocalFree(sd);
}

class SystemFileOps final : public FileOps {
 public:
  explicit SystemFileOps(bool sync) : sync_(sync) {}

  std::vector<std::uint8_t> readAll(const fs::path& path, std::uintmax_t maxSize) override {
    if (deviceName(path)) throw WorkbookError("Not a regular file: \"" + path.string() + "\"", ErrorKind::NotRegular);
    Handle h(openFile(path, GENERIC_READ, kShareAll, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN));
    if (!h.valid()) failWin32("Cannot open", path, GetLastError());
    BY_HANDLE_FILE_INFORMATION bi{};
    if (GetFileType(h.get()) != FILE_TYPE_DISK || !GetFileInformationByHandle(h.get(), &bi) ||
        (bi.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
      throw WorkbookError("Not a regular file: \"" + path.string() + "\"", ErrorKind::NotRegular);
    const std::uint64_t size = (static_cast<std::uint64_t>(bi.nFileSizeHigh) << 32) | bi.nFileSizeLow;
    if (size > maxSize) throw WorkbookError("The file is too large to be a roster: \"" + path.string() + "\"");
    std::vector<std::uint8_t> data(static_cast<std::size_t>(size));
    if (!readHandle(h.get(), data, data.size())) failWin32("Cannot read", path, GetLastError());
    return data;
  }

  FileInfo stat(const fs::path& path) override {
    FileInfo info;
    if (deviceName(path)) {
      info.exists = true;
      return info;
    }
    // Attributes only: no share mode of another program refuses that.
    Handle h(openFile(path, FILE_READ_ATTRIBUTES, kShareAll, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS));
    if (!h.valid()) {
      const DWORD e = GetLastError();
      if (e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND) return info;
      failWin32("Cannot examine", path, e);
    }
    BY_HANDLE_FILE_INFORMATION bi{};
    const DWORD type = GetFileType(h.get());
    if (!GetFileInformationByHandle(h.get(), &bi)) {
      if (type != FILE_TYPE_DISK) {
        info.exists = true;
        return info;
      }
      failWin32("Cannot examine", path, GetLastError());
    }
    info.exists = true;
    info.regular = type == FILE_TYPE_DISK && !(bi.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    info.size = (static_cast<std::uint64_t>(bi.nFileSizeHigh) << 32) | bi.nFileSizeLow;
    info.mtimeNs = ticks(bi.ftLastWriteTime) * 100;
    info.createdNs = ticks(bi.ftCreationTime) * 100;
    info.mode = bi.dwFileAttributes;
    return info;
  }

  fs::path createTemp(const fs::path& target, int& handle) override {
    static thread_local std::mt19937_64 rng{std::random_device{}()};
    for (int attempt = 0; attempt < 100; ++attempt) {
      wchar_t suffix[16];
      std::swprintf(suffix, 16, L"%08llx", static_cast<unsigned long long>(rng() & 0xFFFFFFFFull));
      const fs::path tmp = target.parent_path() / (L"." + target.filename().wstring() + L".velquor-" + suffix + L".tmp");
      // No delete sharing while it is written: a save of another copy sees it is in use.
      HANDLE h = openFile(tmp, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, CREATE_NEW,
                          FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
      if (h != INVALID_HANDLE_VALUE) {
        handle = toInt(h);
        return tmp;
      }
      const DWORD e = GetLastError();
      if (e != ERROR_FILE_EXISTS && e != ERROR_ALREADY_EXISTS) failWin32("Cannot create a file next to", target, e);
    }
    throw WorkbookError("Cannot create a temporary file next to \"" + target.string() + "\"");
  }

  void write(int handle, const std::uint8_t* data, std::size_t size) override {
    std::size_t done = 0;
    while (done < size) {
      DWORD put = 0;
      const DWORD want = static_cast<DWORD>(std::min<std::size_t>(size - done, 1u << 24));
      if (!WriteFile(toHandle(handle), data + done, want, &put, nullptr)) failWin32("Cannot write the workbook: ", GetLastError());
      if (put == 0) failWin32("Cannot write the workbook: ", ERROR_WRITE_FAULT);
      done += put;
    }
  }

  void sync(int handle) override {
    if (sync_ && !FlushFileBuffers(toHandle(handle))) failWin32("Cannot flush the workbook to disk: ", GetLastError());
  }

  void setPermissions(int handle, const FileInfo& like) override {
    // The roster's own attributes (not the temporary file's hidden one) and creation time.
    // ReplaceFileW carries them over itself on Windows; a file system that only renames, and
    // Wine's ReplaceFileW, do not.
    constexpr DWORD kept = FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                           FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    FILE_BASIC_INFO bi{};
    bi.FileAttributes = like.mode & kept ? like.mode & kept : FILE_ATTRIBUTE_NORMAL;
    bi.CreationTime.QuadPart = like.createdNs / 100;
    if (!SetFileInformationByHandle(toHandle(handle), FileBasicInfo, &bi, sizeof bi))
      failWin32("Cannot set the workbook's attributes: ", GetLastError());
  }

  void close(int handle) override {
    if (!CloseHandle(toHandle(handle))) failWin32("Cannot close the workbook: ", GetLastError());
  }

  void rename(const fs::path& from, const fs::path& to) override {
    copyAccessControl(to, from);
    const DWORD e = renameByHandle(from, to);
    if (e == 0) return;
    if (e != ERROR_INVALID_PARAMETER && e != ERROR_NOT_SUPPORTED && e != ERROR_INVALID_FUNCTION)
      failWin32("Cannot replace", to, e);
    // Before Windows 10 1709, and on FAT, many shares and Wine: the rename over a closed file,
    // waited for while another program (an indexer, a virus scanner, a copy of this program
    // reading the roster) has it open for a moment.
    const std::wstring target = winPath(to), source = winPath(from);
    for (int attempt = 0;; ++attempt) {
      if (MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return;
      const DWORD m = GetLastError();
      if ((m != ERROR_ACCESS_DENIED && m != ERROR_SHARING_VIOLATION) || attempt >= 400) failWin32("Cannot replace", to, m);
      Sleep(5);
    }
  }

  void syncDirectory(const fs::path& dir) override {
    if (!sync_) return;
    Handle h(openFile(dir, GENERIC_READ | GENERIC_WRITE, kShareAll, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS));
    // A folder may refuse a handle or a flush (many file systems and shares do); the rename
    // is then as durable as they make it.
    if (!h.valid()) return;
    if (!FlushFileBuffers(h.get())) {
      const DWORD e = GetLastError();
      if (e == ERROR_NOT_READY || e == ERROR_DEVICE_NOT_CONNECTED || e == ERROR_DEVICE_REMOVED || e == ERROR_PATH_NOT_FOUND)
        failWin32("Cannot flush the folder", dir, e);
    }
  }

  void remove(const fs::path& path) noexcept override {
    DeleteFileW(winPath(path).c_str());
  }

 private:
  bool sync_;
};

// Opens the roster for writing as a save does. INVALID_HANDLE_VALUE and the error when it cannot.
HANDLE openForWriting(const fs::path& file, DWORD& error) {
  HANDLE h = openFile(file, GENERIC_READ | GENERIC_WRITE, kShareAll, OPEN_EXISTING, 0);
  error = h == INVALID_HANDLE_VALUE ? GetLastError() : 0;
  return h;
}

bool lockByte(HANDLE h, DWORD flags) {
  OVERLAPPED ov{};
  ov.Offset = static_cast<DWORD>(kLockOffset);
  ov.OffsetHigh = static_cast<DWORD>(kLockOffset >> 32);
  return LockFileEx(h, flags | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &ov);
}

void unlockByte(HANDLE h) {
  OVERLAPPED ov{};
  ov.Offset = static_cast<DWORD>(kLockOffset);
  ov.OffsetHigh = static_cast<DWORD>(kLockOffset >> 32);
  UnlockFileEx(h, 0, 1, 0, &ov);
}

// The volume refuses writing (a write-protected stick or card, a read-only share).
bool readOnlyVolume(const fs::path& p) {
  Handle h(openFile(p, FILE_READ_ATTRIBUTES, kShareAll, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS));
  DWORD flags = 0;
  return h.valid() && GetVolumeInformationByHandleW(h.get(), nullptr, 0, nullptr, nullptr, &flags, nullptr, 0) &&
         (flags & FILE_READ_ONLY_VOLUME);
}

}  // namespace

std::shared_ptr<FileOps> systemFileOps(bool syncToDisk) { return std::make_shared<SystemFileOps>(syncToDisk); }

namespace detail::platform {

fs::path resolvePath(const fs::path& p) {
  std::wstring w = p.wstring();
  for (wchar_t& c : w)
    if (c == L'/') c = L'\\';
  const DWORD n = GetFullPathNameW(w.c_str(), 0, nullptr, nullptr);
  if (n == 0) return p;
  std::wstring full(n, L'\0');
  const DWORD got = GetFullPathNameW(w.c_str(), n, full.data(), nullptr);
  if (got == 0 || got >= n) return p;
  full.resize(got);
  // A symbolic link to the file: the file it points to.
  const DWORD attrs = GetFileAttributesW(winPath(full).c_str());
  if (attrs == INVALID_FILE_ATTRIBUTES || !(attrs & FILE_ATTRIBUTE_REPARSE_POINT) || (attrs & FILE_ATTRIBUTE_DIRECTORY))
    return full;
  Handle h(openFile(full, FILE_READ_ATTRIBUTES, kShareAll, OPEN_EXISTING, 0));
  std::wstring target(32768, L'\0');
  const DWORD len = h.valid() ? GetFinalPathNameByHandleW(h.get(), target.data(), 32768, FILE_NAME_NORMALIZED) : 0;
  if (len == 0 || len >= 32768) return full;
  target.resize(len);
  if (startsWith(target, L"\\\\?\\UNC\\")) return L"\\\\" + target.substr(8);
  if (startsWith(target, L"\\\\?\\") && target.size() - 4 < MAX_PATH - 12) return target.substr(4);
  return target;
}

std::vector<fs::path> folderEntries(const fs::path& dir) {
  std::vector<fs::path> entries;
  WIN32_FIND_DATAW fd;
  HANDLE h = FindFirstFileExW(winPath(dir / L"*").c_str(), FindExInfoBasic, &fd, FindExSearchNameMatch, nullptr, 0);
  if (h == INVALID_HANDLE_VALUE) return entries;
  do {
    const std::wstring name = fd.cFileName;
    if (name != L"." && name != L"..") entries.push_back(dir / name);
  } while (FindNextFileW(h, &fd));
  FindClose(h);
  return entries;
}

const std::string& hostName() {
  static const std::string name = [] {
    wchar_t buf[256] = {};
    DWORD n = 255;
    if (GetComputerNameExW(ComputerNameDnsHostname, buf, &n) || (n = 255, GetComputerNameW(buf, &n)))
      return utf8(std::wstring(buf, n));
    return std::string();
  }();
  return name;
}

const std::string& userName() {
  static const std::string name = [] {
    wchar_t buf[257] = {};
    DWORD n = 257;
    if (GetUserNameW(buf, &n) && n > 0) return utf8(std::wstring(buf, n - 1));
    const char* u = std::getenv("USERNAME");
    return std::string(u ? u : "");
  }();
  return name;
}

long processId() { return static_cast<long>(GetCurrentProcessId()); }

bool processEnded(long pid) {
  HANDLE h = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
  if (!h) return GetLastError() == ERROR_INVALID_PARAMETER;  // no such process; others: it exists
  const bool ended = WaitForSingleObject(h, 0) == WAIT_OBJECT_0;
  CloseHandle(h);
  return ended;
}

std::string localTime(std::time_t t) {
  std::tm tm{};
  localtime_s(&tm, &t);
  char buf[32];
  std::strftime(buf, sizeof buf, "%d.%m.%Y %H:%M", &tm);
  return buf;
}

std::optional<std::string> readSmallFile(const fs::path& p, std::size_t max) {
  Handle h(openFile(p, GENERIC_READ, kShareAll, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT));
  if (!h.valid()) {
    if (!present(p)) return std::nullopt;
    return std::string();
  }
  std::vector<std::uint8_t> data(max);
  if (GetFileType(h.get()) != FILE_TYPE_DISK || !readHandle(h.get(), data, max)) return std::string();
  return std::string(data.begin(), data.end());
}

std::optional<std::time_t> modifiedTime(const fs::path& p) {
  WIN32_FILE_ATTRIBUTE_DATA d{};
  if (!GetFileAttributesExW(winPath(p).c_str(), GetFileExInfoStandard, &d)) return std::nullopt;
  return static_cast<std::time_t>((ticks(d.ftLastWriteTime) - 116444736000000000LL) / 10000000);
}

// The lock files this process made, kept open and deleted on close: a copy of this program
// that is killed or crashes leaves none behind (the system closes its handles).
std::mutex ownLocksMutex;
std::map<std::wstring, HANDLE> ownLocks;

bool removeFile(const fs::path& p) {
  const std::wstring w = winPath(p);
  {
    std::lock_guard<std::mutex> guard(ownLocksMutex);
    if (const auto own = ownLocks.find(w); own != ownLocks.end()) {
      CloseHandle(own->second);
      ownLocks.erase(own);
      return true;
    }
  }
  if (DeleteFileW(w.c_str())) return true;
  DWORD e = GetLastError();
  if (e == ERROR_ACCESS_DENIED) {
    // A lock or owner file marked read-only: it goes all the same.
    const DWORD attrs = GetFileAttributesW(w.c_str());
    if (attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_READONLY) && !(attrs & FILE_ATTRIBUTE_DIRECTORY) &&
        SetFileAttributesW(w.c_str(), attrs & ~DWORD{FILE_ATTRIBUTE_READONLY}) && DeleteFileW(w.c_str()))
      return true;
    e = GetLastError();
  }
  return e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND;
}

bool createLockFile(const fs::path& p, const std::string& text) {
  HANDLE raw = openFile(p, GENERIC_WRITE | DELETE, FILE_SHARE_READ | FILE_SHARE_DELETE, CREATE_NEW,
                        FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE);
  if (raw == INVALID_HANDLE_VALUE) {
    const DWORD e = GetLastError();
    if (e == ERROR_FILE_EXISTS || e == ERROR_ALREADY_EXISTS) return false;
    failWin32("Cannot create the lock file", p, e);
  }
  Handle h(raw);
  DWORD put = 0;
  if (!WriteFile(h.get(), text.data(), static_cast<DWORD>(text.size()), &put, nullptr) || put != text.size()) {
    const DWORD e = GetLastError();
    failWin32("Cannot write the lock file", p, e ? e : ERROR_WRITE_FAULT);  // deleted as it closes
  }
  std::lock_guard<std::mutex> guard(ownLocksMutex);
  ownLocks[winPath(p)] = h.release();
  return true;
}

std::optional<NativeHandle> lockRoster(const fs::path& file, long& holder) {
  DWORD e = 0;
  Handle h(openForWriting(file, e));
  if (!h.valid()) {
    if (e == ERROR_SHARING_VIOLATION || e == ERROR_LOCK_VIOLATION) {
      holder = -1;  // open in another program that denies writing (Excel, WPS)
      return std::nullopt;
    }
    if (e == ERROR_ACCESS_DENIED || e == ERROR_WRITE_PROTECT)
      throw WorkbookError("Cannot open the workbook for writing \"" + file.string() + "\": " + win32Message(e),
                          ErrorKind::ReadOnly);
    failWin32("Cannot open the workbook for writing", file, e);
  }
  if (!lockByte(h.get(), LOCKFILE_EXCLUSIVE_LOCK)) {
    holder = -1;  // another copy of this program, possibly on another computer
    return std::nullopt;
  }
  return reinterpret_cast<NativeHandle>(h.release());
}

void unlockRoster(NativeHandle handle) {
  HANDLE h = reinterpret_cast<HANDLE>(handle);
  unlockByte(h);
  CloseHandle(h);
}

long rangeLockHolder(const fs::path& file) {
  Handle h(openFile(file, GENERIC_READ, kShareAll, OPEN_EXISTING, 0));
  if (!h.valid()) return GetLastError() == ERROR_SHARING_VIOLATION ? -1 : 0;
  if (!lockByte(h.get(), 0)) return -1;  // a copy of this program is saving
  unlockByte(h.get());
  // Open in a program that denies writing to others, as Excel and WPS keep a workbook.
  DWORD e = 0;
  Handle w(openForWriting(file, e));
  return !w.valid() && (e == ERROR_SHARING_VIOLATION || e == ERROR_LOCK_VIOLATION) ? -1 : 0;
}

void removeIfUnheld(const fs::path& temp) {
  // Opened with no sharing and deleted on close: fails while a save (of any process) has it open.
  HANDLE h = openFile(temp, DELETE, 0, OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT);
  if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
}

bool sameContent(const fs::path& file, const std::vector<std::uint8_t>& known) {
  Handle h(openFile(file, GENERIC_READ, kShareAll, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN));
  if (!h.valid()) failWin32("Cannot open", file, GetLastError());
  std::vector<std::uint8_t> buf(65536);
  std::size_t at = 0;
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(h.get(), buf.data(), static_cast<DWORD>(buf.size()), &got, nullptr)) failWin32("Cannot read", file, GetLastError());
    if (got == 0) break;
    if (got > known.size() - at || std::memcmp(buf.data(), known.data() + at, got) != 0) return false;
    at += got;
  }
  return at == known.size();
}

bool userMayWrite(const fs::path& file, const FileInfo& info) {
  if (info.mode & FILE_ATTRIBUTE_READONLY) return false;
  DWORD e = 0;
  Handle h(openForWriting(file, e));
  // Held by another program is not read-only: the lock says who, and the save waits for it.
  if (!h.valid() && (e == ERROR_ACCESS_DENIED || e == ERROR_WRITE_PROTECT)) return false;
  return !readOnlyVolume(file);
}

bool folderWritable(const fs::path& dir) {
  if (readOnlyVolume(dir)) return false;
  // The folder's ACL asked whether this user may add a file (the temporary one) to it.
  const std::wstring w = winPath(dir);
  const SECURITY_INFORMATION what = OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
  DWORD needed = 0;
  GetFileSecurityW(w.c_str(), what, nullptr, 0, &needed);
  if (needed == 0) return true;  // cannot tell: the save finds out
  std::vector<std::uint8_t> sd(needed);
  if (!GetFileSecurityW(w.c_str(), what, sd.data(), needed, &needed)) return true;
  HANDLE token = nullptr, impersonation = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY | TOKEN_DUPLICATE, &token)) return true;
  const bool duplicated = DuplicateToken(token, SecurityImpersonation, &impersonation);
  CloseHandle(token);
  if (!duplicated) return true;
  GENERIC_MAPPING mapping = {FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS};
  DWORD access = FILE_ADD_FILE;
  MapGenericMask(&access, &mapping);
  PRIVILEGE_SET privileges{};
  DWORD privilegesSize = sizeof privileges, granted = 0;
  BOOL allowed = TRUE;
  const bool checked = AccessCheck(sd.data(), impersonation, access, &mapping, &privileges, &privilegesSize, &granted, &allowed);
  CloseHandle(impersonation);
  return !checked || allowed;
}

}  // namespace detail::platform
}  // namespace velquor::roster

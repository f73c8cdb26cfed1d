// The class roster workbook: a legacy Excel .xls file (BIFF8 in a compound file) or an Office
// Open XML workbook (.xlsx, .xlsm), told apart by content, read into memory, edited cell by cell
// and written back by splicing only the records (or the worksheet text) that change.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace velquor::roster {

class FileOps;

// What kind of failure a WorkbookError is, so callers can word it for the teacher and decide
// whether trying again later can succeed (held, changed, read-only, missing) or not.
enum class ErrorKind {
  Other,          // anything not listed below
  NotFound,       // the file (or its folder or drive) is not there
  NotRegular,     // a folder, FIFO, device or other special file
  Damaged,        // not a workbook, or a structure that cannot be read
  Unsupported,    // encrypted, an older format, ...
  CannotWrite,    // readable, but this cell or structure cannot be written safely
  Held,           // another program holds the file (lock file or lock); see holder()
  ReadOnly,       // the user may not write the file
  ChangedOnDisk,  // another program changed the file since it was read
  DiskFull,       // no space left while writing
  NoPermission,   // the folder or file refuses the write (permissions, read-only medium)
  SheetUnreadable,  // one worksheet is damaged: it cannot be read, and the file is not written
};

// A claim another program (or another copy of this one) holds on the file.
struct FileLock {
  enum class Kind {
    None,       // nobody holds the file
    LockFile,   // a LibreOffice-format lock file ".~lock.NAME#" beside it
    OwnerFile,  // an Office owner file "~$NAME" beside it
    Range,      // a lock on the file itself, held by a running process
  };
  Kind kind = Kind::None;
  std::string name;   // who, as the lock says ("" when it does not say)
  std::string host;   // the computer, when the lock says
  std::string since;  // when it was taken, "DD.MM.YYYY HH:MM" ("" when unknown)
  std::filesystem::path file;  // the lock file, for LockFile and OwnerFile
  // A lock file can be removed once the teacher confirms the program that left it is closed.
  bool removable() const { return kind == Kind::LockFile || kind == Kind::OwnerFile; }
  // "name (host, since)" when the lock names its computer, else "name"; as holder() reports it.
  std::string describe() const;
};

// Every failure of the component: unreadable, malformed or unsupported file, refused write,
// failed save. The message says what went wrong in words a developer can pass on; kind() says
// which failure it is, and holder() who holds the file for ErrorKind::Held (when known).
class WorkbookError : public std::runtime_error {
 public:
  explicit WorkbookError(const std::string& what, ErrorKind kind = ErrorKind::Other, std::string holder = {})
      : std::runtime_error(what), kind_(kind), holder_(std::move(holder)) {}
  ErrorKind kind() const { return kind_; }
  const std::string& holder() const { return holder_; }

 private:
  ErrorKind kind_;
  std::string holder_;
};

struct Cell {
  enum class Kind { Empty, Text, Number, Boolean, Error };
  Kind kind = Kind::Empty;
  std::string text;     // UTF-8, for Text (also the error name such as "#N/A" for Error)
  double number = 0.0;  // for Number; 1 or 0 for Boolean; the error code for Error
  bool isDate = false;  // a Number whose cell format shows a date or time

  bool empty() const { return kind == Kind::Empty; }
  // The value as text: Text as is, numbers in the shortest exact decimal form (15 significant
  // digits at most), TRUE/FALSE, the error name; "" for Empty.
  std::string toText() const;
};

// An open workbook. Closing it without saving is destroying it: pending edits are dropped and
// the file is left as it is. Not thread-safe; one user-interface thread uses it.
class Workbook {
 public:
  // Reads the whole file into memory and parses it. Throws WorkbookError.
  static Workbook open(const std::filesystem::path& path);
  // Same, with the file operations of `ops` (tests inject failures through it).
  static Workbook open(const std::filesystem::path& path, std::shared_ptr<FileOps> ops);
  // Parses an in-memory image; path() is empty and save() is refused. For the fuzzers and tools.
  static Workbook fromBytes(std::vector<std::uint8_t> bytes);

  Workbook(Workbook&&) noexcept;
  Workbook& operator=(Workbook&&) noexcept;
  ~Workbook();

  // Another program holds the file (LibreOffice or Office lock file, a lock on the file) or the
  // file cannot be written: save() is refused while this holds.
  bool readOnly() const;
  // Who holds the file, from the lock file, when known ("" otherwise).
  std::string holder() const;
  // The lock another program holds on the file now (Kind::None when none). A lock file left by
  // a copy of this program on this computer whose process has ended is removed, not reported.
  FileLock lock() const;
  // Removes a lock file the teacher has confirmed to be left over (its program is closed).
  // Returns false when the lock changed in between or could not be removed.
  bool removeStaleLock(const FileLock& lock);
  std::string fileName() const;
  std::filesystem::path path() const;

  // Worksheets (chart and macro sheets are not counted), 1-based positions.
  int sheetCount() const;
  std::string sheetName(int sheet) const;
  // The sheet is hidden (or very hidden) in the spreadsheet programs.
  bool sheetHidden(int sheet) const;
  // False for a worksheet whose records are damaged: its cells cannot be read (cell() throws
  // ErrorKind::SheetUnreadable) and no edit of the workbook is accepted.
  bool sheetReadable(int sheet) const;
  // The sheet the caller works with; starts at 1. Throws for a position that does not exist.
  void activate(int sheet);
  int activeSheet() const;

  // The last row and column (1-based) that hold a value; 0 for an empty sheet.
  int lastRow(int sheet) const;
  int lastColumn(int sheet) const;

  // 1-based row and column; Empty outside the used range. Throws for a sheet that does not exist.
  Cell cell(int sheet, int row, int col) const;
  // A date-formatted number, or a text that reads as a date, as "MM月dd"; otherwise toText().
  std::string cellMonthDay(int sheet, int row, int col) const;

  // Edits held in memory until save(). Rows 1..65536, columns 1..256 (.xlsx: 1..1048576,
  // 1..16384). In .xls, text goes through the shared string table and integers are stored in RK
  // form; in .xlsx, text is an inline string. Both keep the cell's format. Throws (and changes nothing) for a cell the component cannot write safely,
  // such as a cell of a shared or array formula, or a workbook it cannot save at all.
  void setText(int sheet, int row, int col, const std::string& utf8);
  void setInteger(int sheet, int row, int col, std::int16_t value);
  bool modified() const;

  // Writes the edits back into the workbook's own file (nothing happens without edits). Refused
  // when the file is held by another program, read-only, or changed on disk since it was read
  // (content compared). While it writes, the file carries this program's lock. A failure
  // before the new file takes the old one's place leaves the file byte-identical and the edits
  // pending; when only the last step (flushing the folder) fails, the save is complete and the
  // error still reported.
  void save();
  // The new file image save() would write (no disk access). Throws for a workbook it cannot
  // write.
  std::vector<std::uint8_t> serialize() const;

  // The file on disk differs (size or content) from what was read or last saved. A new
  // modification time alone, with the same bytes, is not a change.
  bool changedOnDisk() const;

  // A new workbook with the given worksheets (name, then rows of cells; a cell string that
  // parses as an integer in the 16-bit range is stored as a number). For tests and tools.
  using SheetRows = std::vector<std::vector<std::string>>;
  static std::vector<std::uint8_t> create(const std::vector<std::pair<std::string, SheetRows>>& sheets,
                                          int sectorShift = 9);

  // Internal state; opaque to callers.
  struct Impl;

 private:
  explicit Workbook(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> d_;
};

}  // namespace velquor::roster

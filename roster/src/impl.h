// Internal state of a Workbook: the file image, the parsed Workbook stream, the cells of every
// worksheet and the edits not yet saved.
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "roster/cell/bytes.h"
#include "roster/cell/utf16.h"
#include "roster/src/cfb.h"
#include "roster/file/diskfile.h"
#include "roster/src/xlsx.h"
#include "roster/file_ops.h"
#include "roster/workbook.h"

namespace velquor::roster {

namespace detail {

// BIFF8 record types used by the component.
enum Rec : std::uint16_t {
  kFormula = 0x0006, kEof = 0x000A, kDateMode = 0x0022, kFilePass = 0x002F, kFont = 0x0031,
  kContinue = 0x003C, kWindow1 = 0x003D, kCodePage = 0x0042, kDefColWidth = 0x0055, kColInfo = 0x007D,
  kBoundSheet = 0x0085, kMulRk = 0x00BD, kMulBlank = 0x00BE, kRString = 0x00D6, kDbCell = 0x00D7,
  kXf = 0x00E0, kSst = 0x00FC, kLabelSst = 0x00FD, kExtSst = 0x00FF, kDimensions = 0x0200,
  kBlank = 0x0201, kNumber = 0x0203, kLabel = 0x0204, kBoolErr = 0x0205, kString = 0x0207,
  kRow = 0x0208, kIndex = 0x020B, kArray = 0x0221, kDefaultRowHeight = 0x0225, kTable = 0x0236,
  kWindow2 = 0x023E, kRk = 0x027E, kStyle = 0x0293, kFormat = 0x041E, kShrFmla = 0x04BC,
  kBof = 0x0809,
};

constexpr std::size_t kMaxRecordData = 8224;

inline bool isCellRecord(std::uint16_t t) {
  switch (t) {
    case kFormula: case kMulRk: case kMulBlank: case kRString: case kLabelSst: case kBlank:
    case kNumber: case kLabel: case kBoolErr: case kRk:
      return true;
    default:
      return false;
  }
}

// A cell as parsed: sorted by key = row << 8 | col (0-based).
struct CellSlot {
  std::uint32_t key;
  std::uint8_t kind;  // Cell::Kind
  std::uint8_t flags;
  std::uint16_t xf;
  union {
    double num;         // Number, Boolean, Error
    std::uint32_t str;  // Text: index into sst (or into pool with kFromPool)
  };
};
constexpr std::uint8_t kIsDate = 1, kFromPool = 2, kSharedFormula = 4;

struct Edit {
  bool text;
  std::int16_t value;
  std::uint32_t sst;  // Text: index in the (extended) shared string table
};

struct Sheet {
  std::string name;
  bool hidden = false;  // hidden or very hidden
  std::size_t boundSheetPos;  // record position of its BOUNDSHEET in the stream
  std::uint32_t start = 0, end = 0;  // substream [BOF, after EOF)
  bool worksheet = false;
  bool damaged = false;  // its records could not be read: no cells, and the file is not written
  std::uint32_t indexPos = 0;  // INDEX record position, 0 when none
  std::vector<CellSlot> cells;
  std::vector<std::uint32_t> rowStart;
  int lastColumn = 0;  // 1-based
  mutable bool layoutChecked = false;  // its records were found fit for splicing  // cells of row r (0-based): [rowStart[r], rowStart[r + 1])
  std::map<std::uint32_t, Edit> edits;
  const CellSlot* find(std::uint32_t key) const {
    const std::uint32_t row = key >> 8;
    if (row + 1 >= rowStart.size()) return nullptr;
    for (std::uint32_t i = rowStart[row]; i < rowStart[row + 1]; ++i)
      if (cells[i].key == key) return &cells[i];
    return nullptr;
  }
};

// Where a save put each substream, and the cell format each edit received: lets the workbook
// take its saved state over without parsing every cell again.
struct SaveLayout {
  std::vector<std::uint32_t> end, indexPos;
  std::vector<std::map<std::uint32_t, std::uint16_t>> xf;
};

bool isDateFormatString(const std::string& format);
// A built-in number format (by its id, the same in both file formats) that shows a date or time.
bool isBuiltinDateFormat(std::uint32_t id);
std::string formatNumber(double v);

}  // namespace detail

struct Workbook::Impl {
  detail::DiskFile file;  // the file on disk; detached for an image in memory

  // An .xlsx workbook; the members below describe an .xls one.
  std::unique_ptr<detail::XlsxBook> xlsx;

  std::unique_ptr<detail::CompoundFile> cfb;
  int streamEntry = -1;
  detail::ByteView stream;  // usually a view into the file image held by cfb
  bool date1904 = false;
  std::vector<std::uint16_t> xfFormat;
  std::map<std::uint16_t, bool> customDate;
  std::vector<std::uint8_t> xfDate;  // per XF: its number format shows a date
  std::vector<std::string> sst;       // UTF-8
  std::vector<std::uint8_t> sstPlain;  // 1 when the string has no formatting runs
  std::vector<std::uint32_t> sstPos;   // stream position of each string
  bool sstClean = false;               // parsed exactly as declared: new strings can be appended
  bool danglingLabels = false;         // a text cell refers past the end of the string table
  std::uint32_t sstTotal = 0, sstUnique = 0;
  std::vector<std::pair<std::uint32_t, std::uint16_t>> sstRecords;  // SST and its CONTINUEs: pos, len
  std::uint32_t extSstPos = 0;         // 0: none
  std::uint32_t globalsEnd = 0;        // after the globals EOF
  std::uint32_t globalsEofPos = 0;
  std::vector<std::string> pool;      // text of LABEL cells and formula results
  std::vector<detail::Sheet> sheets;  // every substream, in stream order
  std::vector<int> worksheets;        // indexes into sheets, in BOUNDSHEET order
  int active = 1;

  // Edits: strings added to the shared string table.
  std::vector<std::string> newStrings;
  std::unordered_map<std::string, std::uint32_t> stringIndex;  // built on first setText

  // Parses a file image. With `previous` and `saved`, the image is what previous wrote: cells
  // are taken over from it instead of parsed again.
  void parse(detail::Bytes image, Impl* previous = nullptr, const detail::SaveLayout* saved = nullptr);
  // Reads a file image of either format.
  void load(detail::Bytes image);
  void parseSheet(detail::Sheet& sh, std::uint32_t offset, std::uint8_t type, const std::vector<std::uint32_t>& starts);
  detail::Bytes serializeStream(detail::SaveLayout* layout = nullptr) const;
  // Memory of earlier saves, reused by the next one (large rosters save faster).
  mutable detail::Bytes spareStream, spareImage;
  const detail::Sheet& worksheet(int position) const;
  // The worksheet, refused (ErrorKind::SheetUnreadable) when its records are damaged.
  const detail::Sheet& readableWorksheet(int position) const;
  // Refuses every edit of a workbook with a damaged sheet or a damaged mini stream table.
  void checkWholeFile() const;
  mutable bool wholeFileChecked = false;
  detail::Sheet& worksheet(int position);
  Cell makeCell(const detail::Sheet& s, std::uint32_t key) const;
  bool isDateXf(std::uint16_t xf) const;
  void checkWritable(int sheet, int row, int col) const;
};

}  // namespace velquor::roster

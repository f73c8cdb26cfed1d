// The roster as an Office Open XML workbook (.xlsx, .xlsm): a ZIP package read with libzip,
// parts parsed with pugixml. Writing changes only the worksheet parts holding edited cells (by
// splicing their text) and copies every other entry's compressed data as it is.
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "roster/cell/book.h"
#include "roster/workbook.h"
#include "roster/xlsx/xlsx_segments.h"

namespace velquor::roster::detail {

class ZipReader;

// `bytes` starts like a ZIP archive (a local file header, or the end record of an empty one).
bool looksLikeZip(const std::vector<std::uint8_t>& bytes);
// Reads an .xlsx image; throws WorkbookError (see XlsxBook::parse).
std::unique_ptr<Book> openXlsx(std::vector<std::uint8_t> image);

// Limits checked before anything is inflated.
constexpr std::uint64_t kMaxPartSize = std::uint64_t{64} << 20;     // one part, inflated
constexpr std::uint64_t kMaxInflatedTotal = std::uint64_t{160} << 20;  // every part read
constexpr std::uint64_t kMaxRatio = 100;                               // inflated / compressed
constexpr int kMaxRows = 1048576, kMaxColumns = 16384;

struct XCell {
  std::uint32_t row, col;    // 1-based
  std::uint32_t begin, end;  // the <c> element in the sheet's text
  std::uint32_t xf;
  std::uint8_t kind;   // Cell::Kind
  std::uint8_t flags;  // kXDate, kXFormula, kXSharedFormula, kXPooled
  union {
    double num;
    std::uint32_t str;  // index into the shared strings, or the sheet's pool with kXPooled
  };
  std::uint64_t key() const { return (static_cast<std::uint64_t>(row) << 16) | col; }
};
constexpr std::uint8_t kXDate = 1, kXFormula = 2, kXSharedFormula = 4, kXPooled = 8;

struct XRow {
  std::uint32_t r;
  std::uint32_t begin, tagEnd;  // the start tag
  std::uint32_t cellsEnd;       // where a cell after the last one goes
  std::uint32_t end;            // after the end tag (tagEnd for <row/>)
  std::uint32_t xf;             // the row's style, when customFormat
  bool customFormat = false, selfClosing = false, hasSpans = false;
};

struct XEdit {
  bool text;
  std::int16_t value;
  std::string str;
};

// The first element of [first, last) for which `before` is false, `before` being true up to
// some point and false after it, searched forward from `first` in growing steps: when it is
// close, this stays within a few cache lines where a binary search of a large sheet's cells
// misses the cache at every step.
template <class It, class Pred>
It gallop(It first, It last, Pred before) {
  std::ptrdiff_t step = 1;
  while (last - first > step && before(first[step])) {
    first += step;
    step *= 2;
  }
  return std::partition_point(first, last - first > step ? first + step + 1 : last, before);
}

struct XSheet {
  std::string name;
  std::string part;  // entry name in the archive
  bool hidden = false;
  std::vector<XCell> cells;  // sorted by (row, col)
  std::vector<XRow> rows;    // sorted by r
  std::vector<std::string> pool;
  struct ColStyle {
    std::uint32_t min, max, xf;
  };
  std::vector<ColStyle> cols;
  std::uint32_t dimBegin = 0, dimEnd = 0;  // the <dimension> element, when present
  std::string dimRef;
  std::uint32_t dataBegin = 0, dataTagEnd = 0, dataRowsEnd = 0, dataEnd = 0;  // <sheetData>
  bool dataSelfClosing = false, hasData = false;
  std::string prefix;  // of SpreadsheetML elements ("x:" or "")
  std::string notWritable;  // why edits are refused, empty when they are accepted
  int lastRow = 0, lastCol = 0;
  std::map<std::uint64_t, XEdit> edits;  // key: row << 16 | col
  XSegmentMap segments;  // how this program last deflated the part, empty when it has not

  const XCell* find(std::uint32_t row, std::uint32_t col) const;
  mutable std::size_t findHint = 0;  // where find() last found a cell
};

// One change spliced into a sheet's text, kept after the save to move the parsed offsets
// instead of parsing the new text again.
struct XPatchCell {
  std::uint32_t col, xf;
  std::uint32_t off, len;  // the <c> element within the change's text
  XEdit edit;
};
struct XPatch {
  enum Kind : std::uint8_t { Other, RowTag, Cell, CloseRow, NewRow, OpenData, CloseData, Dimension };
  Kind kind = Other;
  std::uint32_t pos = 0, end = 0;  // the replaced range of the old text
  std::uint32_t len = 0;           // length of the new text
  std::uint32_t row = 0, tagLen = 0;  // NewRow: its start tag's length
  std::vector<XPatchCell> cells;      // Cell: the cell; NewRow: its cells
};
struct XSheetPatch {
  std::vector<XPatch> ops;  // sorted by pos, not overlapping
  std::string dimRef;
};

// The style a new cell at (row, col) takes: its row's when the row has one, else its column's.
std::uint32_t newCellXf(const XSheet& s, std::uint32_t row, std::uint32_t col);

class XlsxBook final : public Book {
 public:
  // Throws WorkbookError: Damaged for what cannot be read, Unsupported for encrypted entries,
  // ZIP64 archives, DTDs and binary workbooks.
  static std::unique_ptr<XlsxBook> parse(std::vector<std::uint8_t> image);

  int sheetCount() const override { return static_cast<int>(sheets_.size()); }
  std::string sheetName(int sheet) const override { return at(sheet).name; }
  bool sheetHidden(int sheet) const override { return at(sheet).hidden; }
  // A damaged part refuses the whole file: every sheet listed can be read.
  bool sheetReadable(int sheet) const override { return (void)at(sheet), true; }
  bool date1904() const override { return date1904_; }
  int lastRow(int sheet) const override;
  int lastColumn(int sheet) const override;
  Cell cell(int sheet, int row, int col) const override;

  void setText(int sheet, int row, int col, const std::string& utf8) override;
  void setInteger(int sheet, int row, int col, std::int16_t value) override;
  bool modified() const override;

  std::vector<std::uint8_t> serialize() const override { return build().image; }
  const std::vector<std::uint8_t>& prepareSave() override;
  std::unique_ptr<Book> saved(const std::vector<std::uint8_t>& content) override;

  const std::vector<std::uint8_t>& image() const { return image_; }

  // The new package and the changes made to each edited sheet.
  struct Output {
    std::vector<std::uint8_t> image;
    std::map<int, XSheetPatch> patches;  // by position
    bool calcChainDropped = false;
    std::map<int, XSegmentMap> segments;  // the new segment maps, by position
  };
  Output build() const;
  // `out`, built from this book, is now the file: the edits become its content.
  void adopt(Output out);

 private:
  const XSheet& at(int sheet) const;
  XSheet& at(int sheet);
  XSheet& writableCell(int sheet, int row, int col);
  bool isDateXf(std::uint32_t xf) const { return xf < xfDate_.size() && xfDate_[xf]; }
  // Reads the cells of `sheet` from its part's text, which is not kept (a large sheet's text
  // would double the memory): the writer inflates it again.
  void parseSheet(XSheet& sheet, const std::string& xml) const;
  // Reads and parses the text of every sheet listed.
  void parseSheets(const ZipReader& zip, std::uint64_t& budget);
  // Moves the offsets of `sheet` past the changes of `patch` and takes its edits as content.
  void applyPatch(XSheet& sheet, const XSheetPatch& patch) const;

  std::vector<std::uint8_t> image_;
  std::optional<Output> pending_;  // a save under way
  std::vector<XSheet> sheets_;
  std::vector<std::string> sst_;
  std::vector<std::uint8_t> xfDate_;
  bool date1904_ = false;
  std::string workbookRels;  // entry names
  std::string calcChain;     // "" when none
  std::string calcChainRelId;
  bool calcChainNamedBySheet_ = false;  // a sheet's relationship id is the calculation chain's
};

}  // namespace velquor::roster::detail

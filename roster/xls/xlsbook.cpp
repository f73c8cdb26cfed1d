// The .xls book's answers to the book interface: sheets, cells, edits, the image of a save.
#include "roster/xls/xlsbook.h"

#include <algorithm>
#include <cstring>

namespace velquor::roster::detail {

void checkSheetLayout(const XlsBook& wb, const Sheet& sh);  // write.cpp

bool looksLikeCompoundFile(const Bytes& image) {
  return image.size() >= 8 && std::memcmp(image.data(), "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) == 0;
}

std::unique_ptr<Book> openXls(Bytes image) {
  auto book = std::make_unique<XlsBook>();
  book->parse(std::move(image));
  return book;
}

const Sheet& XlsBook::worksheet(int position) const {
  if (position < 1 || position > static_cast<int>(worksheets.size()))
    throw WorkbookError("The workbook has no worksheet number " + std::to_string(position) + ".");
  return sheets[static_cast<std::size_t>(worksheets[static_cast<std::size_t>(position - 1)])];
}

const Sheet& XlsBook::readableWorksheet(int position) const {
  const Sheet& s = worksheet(position);
  if (s.damaged)
    throw WorkbookError("The worksheet \"" + s.name + "\" is damaged and cannot be read.", ErrorKind::SheetUnreadable);
  return s;
}

Sheet& XlsBook::worksheet(int position) {
  return const_cast<Sheet&>(static_cast<const XlsBook*>(this)->worksheet(position));
}

void XlsBook::checkWholeFile() const {
  if (wholeFileChecked) return;
  for (const Sheet& s : sheets)
    if (s.damaged)
      throw WorkbookError("Cannot write this workbook: its sheet \"" + s.name + "\" is damaged.", ErrorKind::SheetUnreadable);
  if (cfb && cfb->miniFatPointsOutside())
    throw WorkbookError("Cannot write this workbook: its table of small streams (mini FAT) points outside them; "
                        "other programs might no longer read it after a save.",
                        ErrorKind::CannotWrite);
  wholeFileChecked = true;
}

int XlsBook::lastRow(int sheet) const {
  const Sheet& s = readableWorksheet(sheet);
  int last = s.cells.empty() ? 0 : static_cast<int>(s.cells.back().key >> 8) + 1;
  if (!s.edits.empty()) last = std::max(last, static_cast<int>(s.edits.rbegin()->first >> 8) + 1);
  return last;
}

int XlsBook::lastColumn(int sheet) const {
  const Sheet& s = readableWorksheet(sheet);
  int last = s.lastColumn;
  for (const auto& e : s.edits) last = std::max(last, static_cast<int>(e.first & 0xFF) + 1);
  return last;
}

namespace {

// Rows 1..65536, columns 1..256 as a cell key (row << 8 | col, 0-based).
std::uint32_t cellKey(int row, int col) {
  return (static_cast<std::uint32_t>(row - 1) << 8) | static_cast<std::uint32_t>(col - 1);
}

bool outside(int row, int col) { return row < 1 || row > 65536 || col < 1 || col > 256; }

}  // namespace

Cell XlsBook::cell(int sheet, int row, int col) const {
  const Sheet& s = readableWorksheet(sheet);
  if (outside(row, col)) return Cell{};
  return makeCell(s, cellKey(row, col));
}

void XlsBook::checkWritable(int sheet, int row, int col) const {
  if (outside(row, col))
    throw WorkbookError("Cell row " + std::to_string(row) + ", column " + std::to_string(col) + " is outside the sheet.");
  checkWholeFile();
  const Sheet& s = readableWorksheet(sheet);
  const CellSlot* it = s.find(cellKey(row, col));
  if (it && (it->flags & kSharedFormula))
    throw WorkbookError("Cannot write this workbook: the cell is part of a shared or array formula.",
                        ErrorKind::CannotWrite);
  if (!s.layoutChecked) {
    checkSheetLayout(*this, s);
    s.layoutChecked = true;
  }
}

void XlsBook::setText(int sheet, int row, int col, const std::string& utf8) {
  checkWritable(sheet, row, col);
  const std::u16string u = utf8ToUtf16(utf8);
  if (u.size() > 32767) throw WorkbookError("The text is longer than a cell can hold.");
  if (stringIndex.empty()) {
    for (std::size_t i = sst.size(); i-- > 0;)
      if (sstPlain[i]) stringIndex[sst[i]] = static_cast<std::uint32_t>(i);
  }
  std::uint32_t index;
  auto found = stringIndex.find(utf8);
  if (found != stringIndex.end()) {
    index = found->second;
  } else {
    if (!sstClean)
      throw WorkbookError("Cannot write this workbook: its shared string table is damaged.", ErrorKind::CannotWrite);
    index = static_cast<std::uint32_t>(sst.size() + newStrings.size());
    newStrings.push_back(utf8);
    stringIndex.emplace(utf8, index);
  }
  worksheet(sheet).edits[cellKey(row, col)] = Edit{true, 0, index};
}

void XlsBook::setInteger(int sheet, int row, int col, std::int16_t value) {
  checkWritable(sheet, row, col);
  worksheet(sheet).edits[cellKey(row, col)] = Edit{false, value, 0};
}

bool XlsBook::modified() const {
  for (const Sheet& s : sheets)
    if (!s.edits.empty()) return true;
  return false;
}

Bytes XlsBook::serialize() const {
  if (!modified()) return cfb->image();
  return cfb->replaceStream(streamEntry, serializeStream());
}

const Bytes& XlsBook::prepareSave() {
  checkWholeFile();
  pendingLayout = SaveLayout{};
  pendingStream = serializeStream(&pendingLayout);
  pendingImage = cfb->replaceStream(streamEntry, pendingStream, std::move(spareImage));
  return pendingImage;
}

std::unique_ptr<Book> XlsBook::saved(const Bytes& content) {
  // The new book takes the cells over from this one instead of parsing every cell again.
  auto fresh = std::make_unique<XlsBook>();
  try {
    fresh->parse(std::move(pendingImage), this, &pendingLayout);
  } catch (const std::exception&) {
    // Taking the state over failed: read the saved image like any other.
    fresh = std::make_unique<XlsBook>();
    fresh->parse(content);
  }
  // The old image and the stream buffer serve the next save.
  fresh->spareImage = cfb->releaseImage();
  fresh->spareStream = std::move(pendingStream);
  return fresh;
}

}  // namespace velquor::roster::detail

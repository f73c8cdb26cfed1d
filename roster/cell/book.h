// The book inside a roster file, whatever its format: what the .xls book (roster/xls/) and the
// .xlsx book (roster/xlsx/) both implement. A Workbook is the file on disk (roster/file/) and
// one book; which book is told by the file's content.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "roster/workbook.h"

namespace velquor::roster::detail {

class Book {
 public:
  virtual ~Book() = default;

  // Worksheets at 1-based positions; a position that does not exist throws WorkbookError.
  virtual int sheetCount() const = 0;
  virtual std::string sheetName(int sheet) const = 0;
  virtual bool sheetHidden(int sheet) const = 0;
  virtual bool sheetReadable(int sheet) const = 0;
  // Day numbers count from 1904 (else from 1900).
  virtual bool date1904() const = 0;

  virtual int lastRow(int sheet) const = 0;
  virtual int lastColumn(int sheet) const = 0;
  virtual Cell cell(int sheet, int row, int col) const = 0;

  // Edits held until a save; throw (and change nothing) for a cell that cannot be written.
  virtual void setText(int sheet, int row, int col, const std::string& utf8) = 0;
  virtual void setInteger(int sheet, int row, int col, std::int16_t value) = 0;
  virtual bool modified() const = 0;

  // The image a save would write (the file as it is without edits).
  virtual std::vector<std::uint8_t> serialize() const = 0;
  // A save in two steps: prepareSave() makes the new image (throws for a book it cannot
  // write) and keeps what it needs to take it over; once the image is the file, saved() is
  // called with the file's content and returns the book that describes it (null: this one,
  // brought up to date).
  virtual const std::vector<std::uint8_t>& prepareSave() = 0;
  virtual std::unique_ptr<Book> saved(const std::vector<std::uint8_t>& content) = 0;
};

}  // namespace velquor::roster::detail

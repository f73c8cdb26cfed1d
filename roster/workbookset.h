// The roster workbooks the program has open, and the class-sheet view of one worksheet.
// Workbooks stay open between operations (a file chosen again is found, not read twice)
// and are read again when another program changed the file on disk.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "roster/classsheet.h"
#include "roster/workbook.h"

namespace velquor::roster {

// The path with links and dots resolved as far as it exists (the path itself when that fails),
// so two names of one file compare equal.
std::filesystem::path samePlace(const std::filesystem::path& path);

class WorkbookSet {
 public:
  // The workbook of `path`: the open one when there is one (read again first when the
  // file changed on disk since it was read), else the file opened now. `alreadyOpen`
  // tells which. Throws WorkbookError.
  Workbook& get(const std::filesystem::path& path, bool& alreadyOpen);
  // Closes the workbook without saving; the next get() reads the file again.
  void close(const Workbook* book);
  void closeAll() { books_.clear(); }
  int count() const { return static_cast<int>(books_.size()); }

 private:
  std::vector<std::unique_ptr<Workbook>> books_;
};

// One worksheet seen as the cells of a class.
class WorkbookCells : public CellSource {
 public:
  WorkbookCells(const Workbook& book, int sheet) : book_(book), sheet_(sheet) {}
  Variant value(int row, int column) const override;
  bool isDateShownAs(int row, int column, const std::string& monthDay) const override;

 private:
  const Workbook& book_;
  int sheet_;
};

// A cell as a program value: text and numbers as they are, TRUE/FALSE and error names as text.
Variant toVariant(const Cell& cell);

}  // namespace velquor::roster
